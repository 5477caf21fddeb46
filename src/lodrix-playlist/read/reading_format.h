#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "file_contents.h"

// A Reading as bytes: how a reader sends it to the program and how the cache keeps it. The
// bytes come from a process a file may have taken over, or from a file any program of the
// user's can write, so decoding checks every count, length and value.

/// The most bytes one reading takes: a message between a reader and the program must fit a
/// local socket's buffer (208 KiB by default). A file whose chapters would make its reading
/// longer is read without them; a longer sheet is an error (EFBIG).
const size_t largest_reading = 160 * 1024;

/// Most chapters, and most files and tracks of a cue sheet (a CD holds at most 99 tracks).
const size_t most_chapters = 4096;
const size_t most_cue_tracks = 99;

/// The longest time a reading holds (a duration, a start): a year, in ms.
const int64_t longest_ms = 366ll * 24 * 3600 * 1000;

/// Raised whenever what a reader reports, or how its bytes are laid out, changes: a reading
/// kept by another version is read again.
const uint32_t reading_version = 2;

/// How many bytes encode_reading appends for reading.
size_t encoded_size(const Reading &reading);

/// Makes reading one decode_reading takes: a duration longer than longest_ms as 0 (unknown),
/// chapters that start past it left out; within largest_reading, without its chapters where
/// they do not fit, else an error (EFBIG) in its place. Returns encoded_size.
size_t fit_reading(Reading &reading);

/// Appends reading's bytes to bytes.
void encode_reading(const Reading &reading, std::string &bytes);

/// The reading the length bytes at bytes hold; false when they hold no valid one.
bool decode_reading(const char *bytes, size_t length, Reading &reading);
