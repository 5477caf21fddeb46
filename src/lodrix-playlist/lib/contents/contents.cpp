#include "contents.h"

#include <errno.h>
#include <string.h>

#include <string>

#include "demuxers.h"
#include "lodrix-playlist/lib/cue/cue_sheet.h"
#include "lodrix-playlist/lib/reading/reading_bytes.h"
#include "lodrix-playlist/lib/system/system.h"
#include "metadata.h"
#include "source.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/time.h>
}

// A file that takes longer must not hold up the whole playlist (a stalled network mount).
static const int64_t longest_read_us = longest_read_ms * 1000;

// libavformat's version takes 24 bits.
int64_t current_reading_version(Encoding forced) {
    return int64_t(reading_version) << 32 | int64_t(forced) << 24 | avformat_version();
}

// name is what the demuxers see as the file's name: its extension, as a probe weighs it.
static int64_t duration_us(Source &source, const char *name, const AVInputFormat *demuxer, Encoding forced,
                           Reading &reading) {
    source.position = 0;
    // Small: each fill copies this much from the head, and most demuxers need a few KiB.
    const int buffer_size = 8 * 1024;
    unsigned char *buffer = (unsigned char *)av_malloc(buffer_size);
    AVIOContext *io = buffer ? avio_alloc_context(buffer, buffer_size, 0, &source, read_source, nullptr, seek_source)
                             : nullptr;
    AVFormatContext *context = io ? avformat_alloc_context() : nullptr;
    if (context == nullptr) {
        source.error = ENOMEM;
        if (io)
            av_freep(&io->buffer);
        else
            av_free(buffer);
        avio_context_free(&io);
        return 0;
    }
    context->pb = io;
    // The packets a probe of the streams reads are not kept for a playback that never comes.
    context->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_NOBUFFER;
    context->interrupt_callback = {past_deadline, &source};
    context->io_open = refuse_open;
    // Set as a field, not as an option, whose name is looked up among all the context's.
    context->format_whitelist = av_strdup(single_file_demuxers);
    if (context->format_whitelist == nullptr) {
        source.error = ENOMEM;
        avformat_free_context(context);
        av_freep(&io->buffer);
        avio_context_free(&io);
        return 0;
    }
    // On failure avformat_open_input frees the context, not the I/O we gave it.
    int64_t duration = -1;
    int result = avformat_open_input(&context, name, demuxer, nullptr);
    if (result >= 0) {
        duration = header_duration(context);
        if (duration <= 0) {
            result = avformat_find_stream_info(context, nullptr);
            if (result >= 0 && context->duration > 0)
                duration = context->duration;
        }
        // No stream: the extension's demuxer does not read this content.
        if (context->nb_streams == 0)
            duration = -1;
        else {
            read_metadata(context, forced, reading);
        }
        avformat_close_input(&context);
    }
    // Memory the reader may not have is worth a word; other errors mean the content is no media.
    if (result == AVERROR(ENOMEM) && source.error == 0)
        source.error = ENOMEM;
    av_freep(&io->buffer);
    avio_context_free(&io);
    return duration;
}

// A .cue file: no media, the sheet alone.
static Reading read_cue_file(int fd, Encoding forced) {
    const size_t part = 64 * 1024;
    const int64_t deadline = av_gettime_relative() + longest_read_us;
    std::string text;
    for (;;) {
        size_t length = text.size();
        if (length > most_sheet_bytes)
            return {Reading::unreadable, 0, EFBIG};
        if (av_gettime_relative() > deadline)
            return {Reading::unreadable, 0, too_slow};
        text.resize(length + part);
        int64_t got = read_media_file(fd, &text[length], part, int64_t(length));
        if (got < 0)
            return {Reading::unreadable, 0, errno};
        text.resize(length + size_t(got));
        if (got == 0)
            break;
    }
    Reading reading = {Reading::measured, 0, 0};
    if (int error = read_cue_sheet(text.data(), text.size(), forced, reading.sheet); error != 0)
        return {Reading::unreadable, 0, error};
    fit_reading(reading);
    return reading;
}

FileContentsReader::FileContentsReader(Encoding forced) : forced(forced) {}

FileContentsReader::~FileContentsReader() { delete head; }

Reading FileContentsReader::read(int fd, int64_t size, const std::string &extension) {
    Reading reading = read_contents(fd, size, extension);
    if (converter_was_missing())
        return {Reading::unreadable, 0, needs_converters};
    return reading;
}

Reading FileContentsReader::read_contents(int fd, int64_t size, const std::string &extension) {
    if (extension == "cue")
        return read_cue_file(fd, forced);
    Reading reading = {Reading::measured, 0, 0};
    if (head == nullptr)
        head = new Head;
    head->block_at = head->block_length = 0;
    head->length = read_media_file(fd, head->bytes, sizeof head->bytes, 0);
    if (head->length < 0)
        return {Reading::unreadable, 0, errno};
    Source source = {fd, size, 0, av_gettime_relative() + longest_read_us, 0, head};
    const AVInputFormat *demuxer = demuxer_for(extension, *head, fd);
    std::string name = "media." + extension;
    int64_t duration = demuxer ? duration_us(source, name.c_str(), demuxer, forced, reading) : -1;
    // The extension's demuxer found no stream: the content is another format, or none.
    if (duration < 0 && source.error == 0)
        duration = duration_us(source, name.c_str(), nullptr, forced, reading);
    if (source.error != 0)
        return {Reading::unreadable, 0, source.error};
    reading.duration_ms = duration > 0 ? (duration + 500) / 1000 : 0;
    fit_reading(reading);
    return reading;
}
