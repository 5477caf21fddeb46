#include "file_contents.h"

#include "cue_sheet.h"
#include "media_file.h"
#include "reading_format.h"

#include <errno.h>
#include <string.h>

#include <algorithm>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/time.h>
}

// A file that takes longer must not hold up the whole playlist (a stalled network mount).
static const int64_t longest_read_us = 10 * AV_TIME_BASE;

// The demuxers that read one media file. Playlists and sequences (concat, HLS, DASH, image2,
// IMF, SDP) would open other files, which a list of the files named must never read.
static const char single_file_demuxers[] =
    "aac,ac3,aiff,amr,ape,asf,au,avi,caf,dsf,dts,eac3,flac,flv,live_flv,h264,hevc,iff,loas,"
    "matroska,mlp,mov,mp3,mpc,mpc8,mpeg,mpegts,mpegvideo,nut,ogg,rm,tak,truehd,tta,w64,wav,wv";

// The demuxer each listed extension names. Probing the content costs more than reading the
// file, so where the file begins as that demuxer's files do, it is opened with it directly;
// anything else (a mislabelled file, an odd start) is probed, as ffprobe would.
static const struct {
    const char *extension, *demuxer;
} demuxer_by_extension[] = {
    {"3g2", "mov"},        {"3gp", "mov"},        {"aac", "aac"},        {"ac3", "ac3"},
    {"aif", "aiff"},       {"aifc", "aiff"},      {"aiff", "aiff"},      {"amr", "amr"},
    {"ape", "ape"},        {"asf", "asf"},        {"au", "au"},          {"avi", "avi"},
    {"caf", "caf"},        {"dff", "iff"},        {"dsf", "dsf"},        {"dts", "dts"},
    {"eac3", "eac3"},      {"flac", "flac"},      {"flv", "flv"},        {"m2t", "mpegts"},
    {"m2ts", "mpegts"},    {"m4a", "mov"},        {"m4b", "mov"},        {"m4r", "mov"},
    {"m4v", "mov"},        {"mka", "matroska"},   {"mkv", "matroska"},   {"mov", "mov"},
    {"mp2", "mp3"},        {"mp3", "mp3"},        {"mp4", "mov"},        {"mpa", "mp3"},
    {"mpc", "mpc"},        {"mpeg", "mpeg"},      {"mpg", "mpeg"},       {"mts", "mpegts"},
    {"oga", "ogg"},        {"ogg", "ogg"},        {"ogv", "ogg"},        {"opus", "ogg"},
    {"ra", "rm"},          {"rm", "rm"},          {"rmvb", "rm"},        {"spx", "ogg"},
    {"tak", "tak"},        {"ts", "mpegts"},      {"tta", "tta"},        {"vob", "mpeg"},
    {"w64", "w64"},        {"wav", "wav"},        {"weba", "matroska"},  {"webm", "matroska"},
    {"wma", "asf"},        {"wmv", "asf"},        {"wv", "wv"},
};

// How each demuxer's files begin: "?" stands for any byte. The audio demuxers that FFmpeg
// lets an ID3v2 tag precede are matched after it.
static const struct {
    const char *demuxer, *start;
    size_t length;
} file_starts[] = {
    {"wav", "RIFF????WAVE", 12},  {"wav", "RF64????WAVE", 12},  {"wav", "BW64????WAVE", 12},
    {"avi", "RIFF????AVI ", 12},  {"aiff", "FORM????AIFF", 12}, {"aiff", "FORM????AIFC", 12},
    {"mov", "????ftyp", 8},       {"mov", "????moov", 8},       {"mov", "????mdat", 8},
    {"mov", "????free", 8},       {"mov", "????wide", 8},       {"mov", "????skip", 8},
    {"matroska", "\x1a\x45\xdf\xa3", 4}, {"ogg", "OggS", 4},   {"flac", "fLaC", 4},
    {"asf", "\x30\x26\xb2\x75\x8e\x66\xcf\x11", 8},         {"flv", "FLV\x01", 4},
    {"ape", "MAC ", 4},           {"wv", "wvpk", 4},            {"mpc", "MP+", 3},
    {"mpeg", "\x00\x00\x01\xba", 4}, {"aac", "ADIF", 4},      {"amr", "#!AMR", 5},
    {"au", ".snd", 4},            {"caf", "caff\x00\x01", 6},   {"tta", "TTA1", 4},
    {"tak", "tBaK", 4},           {"rm", ".RMF\x00\x00", 6},    {"rm", ".ra\xfd", 4},
    {"dsf", "DSD \x1c\0\0\0\0\0\0\0", 12}, {"iff", "FRM8????????DSD ", 16},
    {"w64", "riff\x2e\x91\xcf\x11\xa5\xd6\x28\xdb\x04\xc1\x00\x00", 16},
};

static bool begins_with(const unsigned char *head, size_t length, const char *start, size_t start_length) {
    if (length < start_length)
        return false;
    for (size_t i = 0; i < start_length; ++i)
        if (start[i] != '?' && (unsigned char)start[i] != head[i])
            return false;
    return true;
}

// An MPEG audio frame header (layer I to III): sync, and no reserved version, layer, bit
// rate or sample rate. ADTS (layer 0) is AAC's.
static bool is_mpeg_audio_frame(const unsigned char *h) {
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && (h[1] & 0x18) != 0x08 && (h[1] & 0x06) != 0 &&
           (h[2] & 0xF0) != 0xF0 && (h[2] & 0x0C) != 0x0C;
}

static bool is_adts_frame(const unsigned char *h) { return h[0] == 0xFF && (h[1] & 0xF6) == 0xF0; }

// The file's first 64 KiB, read once: the start is looked at to pick the demuxer, which
// then reads it again (a read less per file, which on a network share is a round trip).
// Past them, the last 64 KiB read, so that the demuxer's small reads there are one read too.
struct Head {
    unsigned char bytes[64 * 1024];
    int64_t length; ///< what was read; less than bytes holds only at the end of the file
    mutable unsigned char block[64 * 1024];
    mutable int64_t block_at, block_length;
};

// Reads as read_media_file does, from head where it holds the bytes asked for: a read at
// or past the end of a file shorter than the head gives 0 at once.
static int64_t read_at(const Head &head, int fd, void *into, size_t size, int64_t at) {
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

// True when the file's first bytes are those of the demuxer's files.
static bool begins_as(const char *demuxer, const Head &file, int fd) {
    unsigned char head[400];
    int64_t at = 0;
    int64_t length = read_at(file, fd, head, sizeof head, at);
    bool after_tags = strcmp(demuxer, "mp3") == 0 || strcmp(demuxer, "aac") == 0 || strcmp(demuxer, "flac") == 0 ||
                      strcmp(demuxer, "tta") == 0 || strcmp(demuxer, "tak") == 0;
    // ID3v2 tags, as FFmpeg skips them: "ID3", a version, flags, a 28-bit size (+ a footer).
    while (after_tags && length >= 10 && memcmp(head, "ID3", 3) == 0 && head[3] != 0xFF && head[4] != 0xFF &&
           ((head[6] | head[7] | head[8] | head[9]) & 0x80) == 0) {
        at += 10 + (head[6] << 21 | head[7] << 14 | head[8] << 7 | head[9]) + (head[5] & 0x10 ? 10 : 0);
        length = read_at(file, fd, head, sizeof head, at);
    }
    if (length < 4)
        return false;
    if (strcmp(demuxer, "mp3") == 0) {
        int64_t i = 0;
        while (i + 4 < length && head[i] == 0)
            ++i;
        return is_mpeg_audio_frame(head + i);
    }
    if (strcmp(demuxer, "aac") == 0 && is_adts_frame(head))
        return true;
    // Transport streams: a sync byte every 188 bytes, or every 192 with a 4-byte time code.
    if (strcmp(demuxer, "mpegts") == 0)
        return (length > 188 && head[0] == 0x47 && head[188] == 0x47) ||
               (length > 196 && head[4] == 0x47 && head[196] == 0x47);
    for (const auto &start : file_starts)
        if (strcmp(start.demuxer, demuxer) == 0 && begins_with(head, length, start.start, start.length))
            return true;
    return false;
}

// The demuxer to open the file with, or null to probe its content.
static const AVInputFormat *demuxer_for(const std::string &extension, const Head &head, int fd) {
    const size_t count = sizeof demuxer_by_extension / sizeof demuxer_by_extension[0];
    // Looking a demuxer up by name walks all of them: once per extension that is asked for,
    // in each reader.
    static thread_local const AVInputFormat *demuxers[count];
    for (size_t i = 0; i < count; ++i)
        if (extension == demuxer_by_extension[i].extension) {
            if (demuxers[i] == nullptr)
                demuxers[i] = av_find_input_format(demuxer_by_extension[i].demuxer);
            return begins_as(demuxer_by_extension[i].demuxer, head, fd) ? demuxers[i] : nullptr;
        }
    return nullptr;
}

// The one file libavformat reads, through our own callbacks: reads at a position of our
// own (a seek costs no system call), the size known from the first fstat, the deadline
// checked at every read, and a read error kept to be reported.
struct Source {
    int fd;
    int64_t size, position, deadline;
    int error;
    const Head *head;
};

static int read_source(void *opaque, uint8_t *into, int size) {
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

static int64_t seek_source(void *opaque, int64_t offset, int whence) {
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

static int past_deadline(void *opaque) { return av_gettime_relative() > ((Source *)opaque)->deadline; }

// Any file a demuxer would open besides the one given (a reference, a segment, a sidecar).
static int refuse_open(AVFormatContext *, AVIOContext **, const char *, int, AVDictionary **) {
    return AVERROR(EPERM);
}

// The duration in microseconds as ffprobe reports it, from the headers where ffprobe would
// take it from there: the container's; or a stream's, where that is the only one with a
// length (cover art has none) or every stream's start is known, so ffprobe's end minus start
// is known too. MPEG-PS and -TS are always measured from their time stamps, and a file with
// no length in its headers (an MP3 without a Xing header) from a probe of its streams.
static int64_t header_duration(const AVFormatContext *context) {
    if (strcmp(context->iformat->name, "mpeg") == 0 || strcmp(context->iformat->name, "mpegts") == 0)
        return 0;
    if (context->duration != AV_NOPTS_VALUE && context->duration > 0)
        return context->duration;
    int64_t longest = 0, start = INT64_MAX, end = INT64_MIN;
    unsigned with_length = 0;
    bool starts_known = true;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream *stream = context->streams[i];
        if (stream->duration == AV_NOPTS_VALUE || stream->duration <= 0) {
            if (!(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
                return 0;
            continue;
        }
        int64_t length = av_rescale_q(stream->duration, stream->time_base, AV_TIME_BASE_Q);
        longest = FFMAX(longest, length);
        ++with_length;
        if (stream->start_time == AV_NOPTS_VALUE) {
            starts_known = false;
            continue;
        }
        int64_t first = av_rescale_q(stream->start_time, stream->time_base, AV_TIME_BASE_Q);
        start = FFMIN(start, first);
        end = FFMAX(end, first + length);
    }
    if (with_length == 1)
        return longest;
    if (with_length > 1 && starts_known)
        return FFMAX(longest, end - start);
    return 0;
}

// A tag at the file's level, else on its first audio stream (Ogg Vorbis and Opus keep them
// there); keys in any case (Matroska keeps ARTIST); null where it has none or an empty one.
static const char *tag(const AVFormatContext *context, const char *key) {
    const AVDictionaryEntry *entry = av_dict_get(context->metadata, key, nullptr, 0);
    if (entry != nullptr && entry->value[0] != '\0')
        return entry->value;
    for (unsigned i = 0; i < context->nb_streams; ++i)
        if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            entry = av_dict_get(context->streams[i]->metadata, key, nullptr, 0);
            return entry != nullptr && entry->value[0] != '\0' ? entry->value : nullptr;
        }
    return nullptr;
}

size_t kept_tag_length(const char *text, size_t length) {
    if (length <= most_tag_bytes)
        return length;
    length = most_tag_bytes;
    for (int back = 0; back < 3 && length > 0 && (text[length] & 0xC0) == 0x80; ++back)
        --length;
    return length;
}

static void keep(std::string &into, const char *value) {
    if (value == nullptr)
        value = "";
    into.assign(value, kept_tag_length(value, strlen(value)));
}

// The number the digits at the start of value make ("3/12": 3, "04": 4, "x5": 0), at most
// UINT32_MAX.
static uint32_t leading_number(const char *value) {
    uint64_t number = 0;
    for (const char *digit = value; digit != nullptr && *digit >= '0' && *digit <= '9'; ++digit)
        number = std::min<uint64_t>(number * 10 + uint64_t(*digit - '0'), UINT32_MAX);
    return uint32_t(number);
}

// The year a date begins with ("1969", "1969-08-15"); 0 where it begins with none.
static uint32_t year_of(const char *date) {
    uint32_t year = 0;
    for (int i = 0; i < 4; ++i, ++date) {
        if (date == nullptr || *date < '0' || *date > '9')
            return 0;
        year = year * 10 + uint32_t(*date - '0');
    }
    return year;
}

static void read_tags(const AVFormatContext *context, Tags &tags) {
    keep(tags.title, tag(context, "title"));
    keep(tags.artist, tag(context, "artist"));
    keep(tags.album_artist, tag(context, "album_artist"));
    keep(tags.album, tag(context, "album"));
    keep(tags.genre, tag(context, "genre"));
    keep(tags.composer, tag(context, "composer"));
    tags.track = leading_number(tag(context, "track"));
    tags.disc = leading_number(tag(context, "disc"));
    const char *date = tag(context, "date");
    tags.year = year_of(date != nullptr ? date : tag(context, "year"));
}

// The chapters the demuxer found while it opened the file, in order of start; each ends
// where the next begins.
static void read_chapters(const AVFormatContext *context, std::vector<Chapter> &chapters) {
    for (unsigned i = 0; i < context->nb_chapters && chapters.size() < most_chapters; ++i) {
        const AVChapter *chapter = context->chapters[i];
        if (chapter->start == AV_NOPTS_VALUE || chapter->time_base.num <= 0 || chapter->time_base.den <= 0)
            continue;
        int64_t start = av_rescale_q(chapter->start, chapter->time_base, {1, 1000});
        if (start < 0)
            continue;
        const AVDictionaryEntry *title = av_dict_get(chapter->metadata, "title", nullptr, 0);
        chapters.push_back({start, {}});
        keep(chapters.back().title, title != nullptr ? title->value : nullptr);
    }
    std::stable_sort(chapters.begin(), chapters.end(),
                     [](const Chapter &a, const Chapter &b) { return a.start_ms < b.start_ms; });
}

// FLAC's CUESHEET block, as the demuxer gives it: a chapter per track, in samples, titled
// with the ISRC. Chapters in ms come from Vorbis CHAPTER comments and stay chapters.
static void read_flac_cue_sheet(const AVFormatContext *context, Reading &reading) {
    const AVRational samples = context->streams[0]->time_base;
    if (samples.num <= 0 || samples.den <= 0 || av_cmp_q(samples, {1, 1000}) == 0)
        return;
    CueFile file;
    for (unsigned i = 0; i < context->nb_chapters && file.tracks.size() < most_cue_tracks; ++i) {
        const AVChapter *chapter = context->chapters[i];
        if (av_cmp_q(chapter->time_base, samples) != 0 || chapter->start == AV_NOPTS_VALUE || chapter->start < 0)
            continue;
        int64_t start_ms = av_rescale_q(chapter->start, samples, {1, 1000});
        if (start_ms > longest_ms || (!file.tracks.empty() && start_ms <= file.tracks.back().start_ms))
            continue;
        file.tracks.push_back({start_ms, {}});
        file.tracks.back().tags.track = uint32_t(std::min<int64_t>(std::max<int64_t>(chapter->id, 0), UINT32_MAX));
    }
    if (!file.tracks.empty())
        reading.sheet.files.push_back(std::move(file));
}

// A sheet the file holds: in a tag (FLAC, APE, WavPack), else FLAC's CUESHEET block.
static void read_cue_sheet(const AVFormatContext *context, Reading &reading) {
    const char *sheet = tag(context, "cuesheet");
    if (sheet != nullptr)
        parse_embedded_cue_sheet(sheet, strlen(sheet), reading.sheet);
    else if (strcmp(context->iformat->name, "flac") == 0)
        read_flac_cue_sheet(context, reading);
    // The sheet's tracks split the file; chapters would split it again.
    if (!reading.sheet.files.empty())
        reading.chapters.clear();
}

// name is what the demuxers see as the file's name: its extension, as a probe weighs it.
static int64_t duration_us(Source &source, const char *name, const AVInputFormat *demuxer, Reading &reading) {
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
            read_tags(context, reading.tags);
            read_chapters(context, reading.chapters);
            read_cue_sheet(context, reading);
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
static Reading read_cue_file(int fd) {
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
    parse_cue_sheet(text.data(), text.size(), reading.sheet);
    fit_reading(reading);
    return reading;
}

FileContentsReader::FileContentsReader() = default;

FileContentsReader::~FileContentsReader() { delete head; }

Reading FileContentsReader::read(int fd, int64_t size, const std::string &extension) {
    if (extension == "cue")
        return read_cue_file(fd);
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
    int64_t duration = demuxer ? duration_us(source, name.c_str(), demuxer, reading) : -1;
    // The extension's demuxer found no stream: the content is another format, or none.
    if (duration < 0 && source.error == 0)
        duration = duration_us(source, name.c_str(), nullptr, reading);
    if (source.error != 0)
        return {Reading::unreadable, 0, source.error};
    reading.duration_ms = duration > 0 ? (duration + 500) / 1000 : 0;
    fit_reading(reading);
    return reading;
}
