#include "reader.h"

#include <errno.h>
#include <string.h>

#include <mutex>
#include <new>

extern "C" {
#include <libavutil/mem.h>
}

// No process of its own here: one block that FFmpeg allocates may not pass this (the index
// of a 40-hour audiobook is about 180 MB; a hostile file asks for gigabytes at once).
static const size_t largest_allocation = size_t(256) << 20;

Reader::~Reader() {}

Reading Reader::read(int fd, int64_t size, const std::string &extension) {
    static std::once_flag limited;
    std::call_once(limited, [] { av_max_alloc(largest_allocation); });
    try {
        return read_duration(fd, size, extension);
    } catch (const std::bad_alloc &) {
        return {Reading::unreadable, 0, ENOMEM};
    }
}

bool Reader::start() { return true; }

int Reader::end() { return 0; }

std::string reading_error_text(int error) {
    return error == too_slow ? "nach 10 s nicht zu Ende gelesen" : strerror(error);
}
