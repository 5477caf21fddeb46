#include "source.h"

#include <errno.h>
#include <string.h>

#include <algorithm>

#include "lodrix-playlist/lib/reading/reading.h"
#include "lodrix-playlist/lib/system/system.h"

extern "C" {
#include <libavutil/time.h>
}

int64_t read_at(const Head &head, int fd, void *into, size_t size, int64_t at) {
    if (at < head.length) {
        int64_t length = std::min<int64_t>(int64_t(size), head.length - at);
        memcpy(into, head.bytes + at, size_t(length));
        return length;
    }
    if (head.length < int64_t(sizeof head.bytes))
        return 0;
    if (at < head.block_at || at >= head.block_at + head.block_length) {
        if (size >= sizeof head.block)
            return read_media_file(fd, into, size, at);
        int64_t got = read_media_file(fd, head.block, sizeof head.block, at);
        if (got <= 0)
            return got;
        head.block_at = at;
        head.block_length = got;
    }
    int64_t length = std::min<int64_t>(int64_t(size), head.block_at + head.block_length - at);
    memcpy(into, head.block + (at - head.block_at), size_t(length));
    return length;
}

int read_source(void *opaque, uint8_t *into, int size) {
    Source *source = (Source *)opaque;
    if (av_gettime_relative() > source->deadline) {
        source->error = too_slow;
        return AVERROR_EXIT;
    }
    int64_t got = read_at(*source->head, source->fd, into, size_t(size), source->position);
    if (got < 0) {
        source->error = errno;
        return AVERROR(errno);
    }
    source->position += got;
    return got == 0 ? AVERROR_EOF : int(got);
}

int64_t seek_source(void *opaque, int64_t offset, int whence) {
    Source *source = (Source *)opaque;
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return source->size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += source->position;
        break;
    case SEEK_END:
        offset += source->size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0)
        return AVERROR(EINVAL);
    return source->position = offset;
}

int past_deadline(void *opaque) { return av_gettime_relative() > ((Source *)opaque)->deadline; }

int refuse_open(AVFormatContext *, AVIOContext **, const char *, int, AVDictionary **) {
    return AVERROR(EPERM);
}

