#pragma once

#include <stddef.h>

#include <string>

// The files lodrix-playlist lists by name, and the demuxer that reads each: one table for the
// walk, which lists them, and the readers, which open them.

/// A media file's extension (lower case) and the demuxer its files are opened with first;
/// null where no demuxer of ours reads it (their content is probed).
struct MediaExtension {
    const char *extension, *demuxer;
};
extern const MediaExtension media_extensions[];
extern const size_t media_extension_count;

/// The text after the last "." of a name or path's last part, in lower case; "" without one.
std::string lowercase_extension(const std::string &name);

/// True when name ends in one of media_extensions, in any case.
bool has_media_extension(const std::string &name);

/// True when name ends in ".cue", in any case.
bool is_cue_sheet(const std::string &name);
