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

/// A mark of how often the calling thread has waited so far (for the storage, or anything
/// else that blocks it): two marks differ when it waited in between, not when other work only
/// kept it from the processor. Where the system does not count waits, every mark differs.
uint64_t waits_so_far();
