#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// A listed file as the program opens it: without blocking (opening a FIFO would wait for a
// writer), only a regular file, read at a position of the reader's own (no shared offset).

/// Opens path to read. -1 with errno set when it cannot be opened; size -1 when it is no
/// regular file (the descriptor is open all the same: close it).
int open_media_file(const std::string &path, int64_t &size);

/// Reads up to size bytes at position at into into; the count, 0 at the end, -1 with errno.
int64_t read_media_file(int fd, void *into, size_t size, int64_t at);

void close_media_file(int fd);
