#pragma once

#include <stddef.h>
#include <stdint.h>

extern "C" {
#include <libavformat/avformat.h>
}

// The one file libavformat reads, through our own callbacks: its first 64 KiB read once, reads
// at a position of our own (a seek costs no system call), the size known from the first fstat,
// the deadline checked at every read, and a read error kept to be reported.

// The file's first 64 KiB, read once: the start is looked at to pick the demuxer, which
// then reads it again (a read less per file, which on a network share is a round trip).
// Past them, the last 64 KiB read, so that the demuxer's small reads there are one read too.
struct Head {
    unsigned char bytes[64 * 1024];
    int64_t length; ///< what was read; less than bytes holds only at the end of the file
    mutable unsigned char block[64 * 1024];
    mutable int64_t block_at, block_length;
};

/// Reads as read_media_file does, from head where it holds the bytes asked for: a read at or
/// past the end of a file shorter than the head gives 0 at once.
int64_t read_at(const Head &head, int fd, void *into, size_t size, int64_t at);

struct Source {
    int fd;
    int64_t size, position, deadline;
    int error;
    const Head *head;
};

/// libavformat's callbacks over a Source (the opaque pointer): read, seek, the deadline.
int read_source(void *opaque, uint8_t *into, int size);
int64_t seek_source(void *opaque, int64_t offset, int whence);
int past_deadline(void *opaque);

/// Refuses any file a demuxer would open besides the one given (a reference, a segment, a
/// sidecar).
int refuse_open(AVFormatContext *, AVIOContext **, const char *, int, AVDictionary **);
