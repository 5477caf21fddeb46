#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "reading.h"

// A Reading as bytes: how a reader sends it to the program and how the cache keeps it. The
// bytes come from a process a file may have taken over, or from a file any program of the
// user's can write, so decoding checks every count, length and value.

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
