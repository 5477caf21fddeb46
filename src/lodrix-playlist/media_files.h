#pragma once

#include <string>
#include <vector>

/// One file of the playlist: the absolute path of its folder, without a trailing "/" but for
/// the root, and its name in that folder.
struct MediaFile {
    std::string folder;
    std::string name;
};

/// The file's absolute path.
std::string media_file_path(const MediaFile &file);

/// Appends to files the media files the operands name, in playlist order: for a folder, its
/// media files by extension, recursively, each folder's entries in natural order, hidden
/// entries and linked folders left out; a regular file named directly, whatever its name.
/// A relative operand is taken from the folder base. Reports on standard error, one line
/// each, an operand that does not exist, one that is neither folder nor regular file (left
/// out) and a folder that cannot be read (the rest goes on). False when an operand does not
/// exist; then files stays as it was.
bool collect_media_files(const std::vector<std::string> &operands, const std::string &base,
                         std::vector<MediaFile> &files);

/// Natural order: digit runs compare as numbers, letters in any case, other bytes as they are.
bool natural_less(const std::string &name, const std::string &other);

/// True when name ends in one of the audio and video extensions, in any case.
bool has_media_extension(const std::string &name);
