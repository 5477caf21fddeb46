#pragma once

#include <string>
#include <vector>

#include "lodrix-playlist/lib/reading/media_files.h"
#include "lodrix-playlist/select/fields.h"
#include "lodrix-playlist/tracks/tracks.h"

// A list's name with {FIELD}s in it ("{genre}.m3u8"): one list per value among its tracks.

/// The fields a name asks for, in order. False, with unknown the first text in braces that
/// names no field (a "{" without its "}" is a character of the name).
bool name_fields(const std::string &name, std::vector<Field> &fields, std::string &unknown);

/// name with each {FIELD} as track's value: made safe as a file name where safe (no folder
/// separator, no character a file system refuses, no "." first, at most 200 bytes), else as
/// the playlist shows it. False where the track has no value for one of them.
bool named_for(const std::string &name, const Track &track, const MediaFiles &files, bool safe, std::string &named);

/// A value as a part of a file's name on Linux, Windows and a FAT card alike: "/", "\", ":",
/// "*", "?", '"', "<", ">", "|" and control characters as "_", no "." first, no blank or "."
/// last, a name Windows reserves (CON, NUL, COM1, ...) with "_" after its base, at most 200 bytes
/// (cut before a character). "" for a value that leaves nothing.
std::string safe_name(const std::string &value);
