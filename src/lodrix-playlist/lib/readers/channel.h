#pragma once

#include <stdint.h>

#include "lodrix-playlist/lib/reading/reading.h"

// The messages between the program and a reader process, over a local socket pair that keeps
// message boundaries: a request is an open file's descriptor (passed, not named) with what the
// reader needs to know of it; the answer is its Reading.

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

bool send_answers(int channel, const Answers &answers);

/// False once the reader has ended or sent something else (errno ECONNRESET), and after the
/// channel's receive time-out when no answer is there (errno EAGAIN).
bool receive_answers(int channel, Answers &answers);

/// receive_requests without waiting: false with errno EAGAIN when none is there yet.
bool poll_requests(int channel, ReadRequests &requests);
