#include "lodrix-playlist/lib/readers/reader.h"

#include <errno.h>
#include <string.h>

#include <chrono>
#include <mutex>
#include <new>

extern "C" {
#include <libavutil/mem.h>
}

// No process of its own here: one block that FFmpeg allocates may not pass this (the index
// of a 40-hour audiobook is about 180 MB; a hostile file asks for gigabytes at once).
static const size_t largest_allocation = size_t(256) << 20;


Reader::~Reader() {}

bool Reader::start() { return true; }

int Reader::end() { return 0; }

bool Reader::running() const { return true; }

void Reader::wait_at_most(int64_t) {}

Reading Reader::lose(int error, size_t &lost) {
    lost = 0;
    return {Reading::unreadable, 0, error};
}

bool Reader::send(int fd, int64_t size, const std::string &extension) {
    queued.push_back({fd, size, extension});
    return true;
}

bool Reader::flush() { return true; }

// The deadline is checked at each read instead.
Reading Reader::receive(size_t &lost) {
    lost = 0;
    static std::once_flag limited;
    std::call_once(limited, [] { av_max_alloc(largest_allocation); });
    Request request = queued.front();
    queued.erase(queued.begin());
    try {
        return contents.read(request.fd, request.size, request.extension);
    } catch (const std::bad_alloc &) {
        return {Reading::unreadable, 0, ENOMEM};
    }
}

