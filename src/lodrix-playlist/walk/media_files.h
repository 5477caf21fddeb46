#pragma once

#include <stdint.h>

#include <string>
#include <system_error>
#include <vector>

/// The files of a playlist, in order. Each folder's path is kept once, and each file is a
/// name in one of them, so memory grows with the names, not with the depth of the tree.
struct MediaFiles {
    /// What a listed file is to the playlist.
    enum class Kind : uint8_t {
        media,      ///< a media file
        sheet,      ///< a cue sheet: its tracks are parts of media files of its folder
        if_claimed, ///< a media file beside a sheet named as an operand: listed only through it
    };
    struct File {
        uint32_t folder; ///< index into folders
        Kind kind;
        std::string name;
    };
    /// Absolute paths, without a trailing "/" but for the root.
    std::vector<std::string> folders;
    std::vector<File> files;
    /// Per folder, the picture a player shows for its files: a cover file of the folder, else
    /// of its parent (an album with CD1/ and CD2/ below), as a folder and a name; an empty
    /// name where neither has one (or the folder was not listed).
    struct Cover {
        std::string folder, name;
    };
    std::vector<Cover> covers;
};

/// folder/name; a root ("/", "C:/") ends in its separator already.
std::string joined_path(const std::string &folder, const std::string &name);

/// The absolute path of files.files[index].
std::string media_file_path(const MediaFiles &files, size_t index);

/// Appends the media files the operands name, in playlist order: for a folder, its media
/// files by extension and its cue sheets, recursively, each folder's entries in natural order
/// (its sheets first, and in a folder with a sheet its files before its subfolders, so that a
/// folder's files follow its sheets), hidden entries and linked folders left out; a regular
/// file named directly, whatever its name; a cue sheet named directly, and the media files of
/// its folder as if_claimed. A relative
/// operand is taken from the folder base (the -p directory rule's, so a linked path stays as
/// the shell shows it), and ".." in an operand as the system takes it: from the folder it
/// really names. Reports on standard error, one line each, an operand that does not exist or
/// cannot be read, one that is neither folder nor regular file (left out), and a folder that
/// cannot be read (the rest goes on). False when an operand does not exist or cannot be read.
/// With files_first, each folder's files come before its subfolders (for an order of their own).
/// A folder's cover is found in the listings the walk reads: the first of "cover", "folder",
/// "front", "albumart" and "album" with ".jpg", ".jpeg" or ".png", in any case.
bool collect_media_files(const std::vector<std::string> &operands, const std::string &base, MediaFiles &files,
                         bool files_first = false);

/// The rank of a cover file's name (0 the best), or -1 for a name that is none.
int cover_rank(const std::string &name);

/// The path as an absolute path that names what the system opens for it: "." and empty
/// components dropped, a relative path taken from base; ".." as the system takes it, from the
/// folder a path really leads to (a shell's cd -L strikes the component before it instead).
/// False, with error set, when the part up to the last ".." cannot be resolved.
bool absolute_path(const std::string &path, const std::string &base, std::string &absolute, std::error_code &error);

/// True when name ends in one of the audio and video extensions, in any case.
bool has_media_extension(const std::string &name);

/// True when name ends in ".cue", in any case.
bool is_cue_sheet(const std::string &name);
