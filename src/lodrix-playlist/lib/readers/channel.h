#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "lodrix-playlist/lib/reading/reading.h"

// The messages between the program and a reader process, over a channel that keeps message
// boundaries: a local socket pair (POSIX), a message-mode pipe (Windows). A request is an open
// file's descriptor (passed, not named) with what the reader needs to know of it; the answer is
// its Reading. On Windows a channel is a C runtime descriptor of the pipe's end, and the files
// of the requests the program sends are handles it has duplicated into the reader already (only
// the program holds the reader's process); the reader takes them as descriptors of its own.

/// The hidden option that makes this program a reader, followed by what the reader needs (its
/// channel's and its progress's handles): the only argument a reader process is started with
/// (Windows; POSIX readers are forked). Never in --help.
extern const char reader_option[];

struct ReadRequest {
    int64_t size;
    char extension[16]; ///< lower case, NUL-terminated; "" when longer (no demuxer is named so)
};

/// Up to most_requests requests in one message, so that a reader wakes once for several.
const unsigned most_requests = 4;
struct ReadRequests {
    uint32_t count;
    int fds[most_requests];
    ReadRequest requests[most_requests];
};

/// Sends requests, each with its descriptor, as one message; false, with errno set, when the
/// reader is gone.
bool send_requests(int channel, const ReadRequests &requests);

/// The next message's requests, with their descriptors; false once the program has closed
/// the channel or sent something else.
bool receive_requests(int channel, ReadRequests &requests);

/// Up to most_answers readings in one message, so that the program wakes once for several;
/// fewer where they are long.
const unsigned most_answers = 4;
struct Answers {
    uint32_t count;
    Reading readings[most_answers];
    size_t sizes[most_answers]; ///< each reading's encoded bytes, as fit_reading gives them
};

/// True when answers holds as many readings as one message takes.
bool answers_full(const Answers &answers);

/// A batch is sent once its message passes fullest_answers bytes, so that a message fits any
/// local socket's buffer with the largest reading after it; none is longer than largest_answers.
const size_t fullest_answers = 16 * 1024;
const size_t largest_answers = fullest_answers + most_answers * (sizeof(uint32_t) + largest_reading);

/// A message of answers: the count of readings, then each one's length and bytes.
void encode_answers(const Answers &answers, std::string &message);

/// The answers a message of length bytes holds; false when it holds none that are valid.
bool decode_answers(const char *message, size_t length, Answers &answers);

bool send_answers(int channel, const Answers &answers);

/// False once the reader has ended or sent something else (errno ECONNRESET), and after the
/// channel's receive time-out when no answer is there (errno EAGAIN): on POSIX the socket's,
/// which the Reader sets; on Windows, where a pipe has none, a tenth of a second.
bool receive_answers(int channel, Answers &answers);

/// receive_requests without waiting: false with errno EAGAIN when none is there yet.
bool poll_requests(int channel, ReadRequests &requests);
