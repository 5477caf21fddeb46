#include "metadata.h"

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lodrix-playlist/lib/cue/cue_sheet.h"

// The duration in microseconds as ffprobe reports it, from the headers where ffprobe would
// take it from there: the container's; or a stream's, where that is the only one with a
// length (cover art has none) or every stream's start is known, so ffprobe's end minus start
// is known too. MPEG-PS and -TS are always measured from their time stamps, and a file with
// no length in its headers (an MP3 without a Xing header) from a probe of its streams.
int64_t header_duration(const AVFormatContext *context) {
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

static void keep(std::string &into, const char *value) {
    if (value == nullptr)
        value = "";
    into.assign(value, kept_tag_length(value, strlen(value)));
}

// A number tag's digits, after the blanks and the "+" a tagger may write before them.
static const char *digits_of(const char *value) {
    while (value != nullptr && (*value == ' ' || *value == '\t'))
        ++value;
    return value != nullptr && *value == '+' ? value + 1 : value;
}

// The number the digits at the start of value make ("3/12": 3, "04": 4, " +7": 7, "x5": 0), at
// most UINT32_MAX.
static uint32_t leading_number(const char *value) {
    uint64_t number = 0;
    for (const char *digit = digits_of(value); digit != nullptr && *digit >= '0' && *digit <= '9'; ++digit)
        number = std::min<uint64_t>(number * 10 + uint64_t(*digit - '0'), UINT32_MAX);
    return uint32_t(number);
}

// The year a date begins with ("1969", "1969-08-15"); 0 where it begins with none.
static uint32_t year_of(const char *date) {
    uint32_t year = 0;
    date = digits_of(date);
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
static void read_cue_sheet(const AVFormatContext *context, Encoding forced, Reading &reading) {
    const char *sheet = tag(context, "cuesheet");
    if (sheet != nullptr)
        read_embedded_cue_sheet(sheet, strlen(sheet), forced, reading.sheet);
    else if (strcmp(context->iformat->name, "flac") == 0)
        read_flac_cue_sheet(context, reading);
    // The sheet's tracks split the file; chapters would split it again.
    if (!reading.sheet.files.empty())
        reading.chapters.clear();
}

// The demuxers whose tags FFmpeg reads from ID3 (v1, and v2 first), which holds text in
// Latin-1 as the code page of whoever wrote it; FFmpeg reads it as ISO-8859-1.
static bool reads_id3(const AVFormatContext *context) {
    for (const char *demuxer : {"mp3", "aac", "tta", "ape", "mpc", "mpc8", "wv", "dsf"})
        if (strcmp(context->iformat->name, demuxer) == 0)
            return true;
    return false;
}

// A file's texts that are not UTF-8 (or ID3's Latin-1), decoded all in one code page.
static void decode_tags(const AVFormatContext *context, Encoding forced, Reading &reading) {
    Tags &tags = reading.tags;
    std::vector<std::string *> texts = {&tags.title, &tags.artist, &tags.album_artist, &tags.album, &tags.genre,
                                        &tags.composer};
    for (Chapter &chapter : reading.chapters)
        texts.push_back(&chapter.title);
    decode_texts(texts, reads_id3(context), forced, most_tag_bytes);
    for (std::string *text : texts)
        text->resize(kept_tag_length(text->data(), text->size()));
}

void read_metadata(const AVFormatContext *context, Encoding forced, Reading &reading) {
    read_tags(context, reading.tags);
    read_chapters(context, reading.chapters);
    read_cue_sheet(context, forced, reading);
    decode_tags(context, forced, reading);
}
