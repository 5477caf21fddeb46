#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
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
    /// Per file, its modification time in seconds since 1970 (0 where it cannot be had), where
    /// the walk was asked for them; else empty.
    std::vector<int64_t> modified;
};

/// The absolute path of files.files[index].
std::string media_file_path(const MediaFiles &files, size_t index);
