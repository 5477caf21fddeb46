#include "media_duration.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/time.h>
}

// A damaged file must not hold up the whole playlist.
static const int64_t longest_read_us = 10 * AV_TIME_BASE;

static int past_deadline(void *deadline) { return av_gettime_relative() > *(int64_t *)deadline; }

int64_t media_duration_ms(const std::string &path) {
    AVFormatContext *context = avformat_alloc_context();
    if (context == nullptr)
        return 0;
    int64_t deadline = av_gettime_relative() + longest_read_us;
    context->interrupt_callback = {past_deadline, &deadline};
    // "file:" keeps a name such as "http:x.mp3" a file name; only local files may be opened,
    // whatever a garbage file makes the prober take it for.
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    std::string url = "file:" + path;
    int opened = avformat_open_input(&context, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0)
        return 0;
    int64_t duration = context->duration;
    if ((duration == AV_NOPTS_VALUE || duration <= 0) && avformat_find_stream_info(context, nullptr) >= 0)
        duration = context->duration;
    avformat_close_input(&context);
    return duration == AV_NOPTS_VALUE || duration <= 0 ? 0 : (duration + 500) / 1000;
}
