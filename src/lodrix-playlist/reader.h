#pragma once

#include <stdint.h>

#include <string>

#include "media_duration.h"

/// Where the files are read, one at a time: apart from the program, so that no file can end,
/// stall or swell the run. On POSIX systems a process of its own, forked on the first read,
/// sandboxed before it reads anything, handed each open file's descriptor, given a deadline
/// and a memory limit, and replaced when it is lost. On Windows the calling thread, under
/// FFmpeg's own allocation limit and the deadline checked at each read.
class Reader {
  public:
    Reader() = default;
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;
    ~Reader();

    /// Starts the reader where none runs; false, with errno set, when it cannot. Call it
    /// where no other thread of the program allocates memory: a forked copy of a lock that
    /// another thread holds would stay locked in the new process.
    bool start();

    /// The reading of fd, an open regular file of size bytes, whose name ends in extension
    /// (lower case); fd stays open. Unreadable, with the reason, when the reader did not
    /// answer within the deadline (it is then ended) or ended before it answered; with
    /// reader_lost when it was gone before it was asked (start it again and retry).
    Reading read(int fd, int64_t size, const std::string &extension);

  private:
    int end();

    int process = -1, channel = -1;
};

/// Reading error: no reader took the request.
const int reader_lost = -2;
/// Reading error: the reader ended with an exit status before it answered.
const int reader_exited = -3;

/// The reason for a Reading's error in words: strerror, or what became of the reader.
std::string reading_error_text(int error);
