#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// A listed file as the program opens it: without blocking (opening a FIFO would wait for a
// writer), only a regular file, read at a position of the reader's own (no shared offset).

/// A regular file as the system tells it apart: its device and inode (on Windows the volume
/// serial and file index), its size, its modification and change times in ns since 1970.
/// Anything that changes a file's content changes one of these.
struct FileIdentity {
    uint64_t device = 0, inode = 0;
    int64_t size = 0, modified_ns = 0, changed_ns = 0;
};

/// The identity of the file path names (links followed), without opening it for reading;
/// false where it cannot be had or is no regular file.
bool identify_path(const std::string &path, FileIdentity &identity);

/// Now, in ns since 1970, by the clock that file times come from.
int64_t wall_clock_ns();

/// Opens path to read. -1 with errno set when it cannot be opened; size -1 when it is no
/// regular file (the descriptor is open all the same: close it). identity is the file's as
/// it was opened: a reading kept under it is found only while nothing changed since.
int open_media_file(const std::string &path, int64_t &size, FileIdentity &identity);

/// Reads up to size bytes at position at into into; the count, 0 at the end, -1 with errno.
int64_t read_media_file(int fd, void *into, size_t size, int64_t at);

void close_media_file(int fd);
