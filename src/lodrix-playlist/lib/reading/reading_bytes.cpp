#include "reading_bytes.h"

#include <algorithm>

#include <errno.h>
#include <stdint.h>

// Numbers seven bits to a byte, the low ones first, the high bit set on all bytes but the
// last: most of a reading's numbers are 0 or small, and a cache keeps thousands of readings.
static void put_number(std::string &bytes, uint64_t number) {
    char encoded[10];
    size_t length = 0;
    for (; number >= 0x80; number >>= 7)
        encoded[length++] = char((number & 0x7f) | 0x80);
    encoded[length++] = char(number);
    bytes.append(encoded, length);
}

static size_t number_size(uint64_t number) {
    size_t size = 1;
    for (; number >= 0x80; number >>= 7)
        ++size;
    return size;
}

static void put_text(std::string &bytes, const std::string &text) {
    put_number(bytes, text.size());
    bytes.append(text);
}

static void put_tags(std::string &bytes, const Tags &tags) {
    for (uint32_t number : {tags.track, tags.disc, tags.year})
        put_number(bytes, number);
    for (const std::string *text : {&tags.title, &tags.artist, &tags.album_artist, &tags.album, &tags.genre, &tags.composer})
        put_text(bytes, *text);
}

static size_t text_size(const std::string &text) { return number_size(text.size()) + text.size(); }

static size_t tags_size(const Tags &tags) {
    size_t size = 0;
    for (uint32_t number : {tags.track, tags.disc, tags.year})
        size += number_size(number);
    for (const std::string *text : {&tags.title, &tags.artist, &tags.album_artist, &tags.album, &tags.genre, &tags.composer})
        size += text_size(*text);
    return size;
}

size_t encoded_size(const Reading &reading) {
    size_t size = number_size(uint64_t(reading.outcome)) + number_size(uint64_t(int64_t(reading.error))) +
                  number_size(uint64_t(reading.duration_ms)) + tags_size(reading.tags) +
                  number_size(reading.chapters.size()) + tags_size(reading.sheet.tags) +
                  number_size(reading.sheet.files.size());
    for (const Chapter &chapter : reading.chapters)
        size += number_size(uint64_t(chapter.start_ms)) + text_size(chapter.title);
    for (const CueFile &file : reading.sheet.files) {
        size += text_size(file.name) + text_size(file.raw_name) + number_size(file.tracks.size());
        for (const CueTrack &track : file.tracks)
            size += number_size(uint64_t(track.start_ms)) + tags_size(track.tags);
    }
    return size;
}

size_t fit_reading(Reading &reading) {
    // A length no file has is one a hostile header made up: unknown.
    if (reading.duration_ms < 0 || reading.duration_ms > longest_ms)
        reading.duration_ms = 0;
    reading.chapters.erase(std::remove_if(reading.chapters.begin(), reading.chapters.end(),
                                          [](const Chapter &chapter) {
                                              return chapter.start_ms < 0 || chapter.start_ms > longest_ms;
                                          }),
                           reading.chapters.end());
    size_t size = encoded_size(reading);
    if (size > largest_reading) {
        reading.chapters.clear();
        size = encoded_size(reading);
    }
    if (size > largest_reading) {
        reading = {Reading::unreadable, 0, EFBIG};
        size = encoded_size(reading);
    }
    return size;
}

void encode_reading(const Reading &reading, std::string &bytes) {
    put_number(bytes, uint64_t(reading.outcome));
    put_number(bytes, uint64_t(int64_t(reading.error)));
    put_number(bytes, uint64_t(reading.duration_ms));
    put_tags(bytes, reading.tags);
    put_number(bytes, reading.chapters.size());
    for (const Chapter &chapter : reading.chapters) {
        put_number(bytes, uint64_t(chapter.start_ms));
        put_text(bytes, chapter.title);
    }
    put_tags(bytes, reading.sheet.tags);
    put_number(bytes, reading.sheet.files.size());
    for (const CueFile &file : reading.sheet.files) {
        put_text(bytes, file.name);
        put_text(bytes, file.raw_name);
        put_number(bytes, file.tracks.size());
        for (const CueTrack &track : file.tracks) {
            put_number(bytes, uint64_t(track.start_ms));
            put_tags(bytes, track.tags);
        }
    }
}

namespace {
// Reads numbers and texts off the bytes; once anything does not fit, every later read fails.
struct Bytes {
    const char *at, *end;
    bool valid = true;

    uint64_t number(uint64_t most) {
        uint64_t value = 0;
        unsigned shift = 0;
        for (bool more = valid; more; shift += 7) {
            // At most ten bytes, the tenth with the one bit left; no byte past the end.
            valid = at < end && (shift < 63 || (unsigned char)*at <= 1);
            if (!valid)
                break;
            unsigned char byte = (unsigned char)*at++;
            value |= uint64_t(byte & 0x7f) << shift;
            more = byte & 0x80;
        }
        valid = valid && value <= most;
        return valid ? value : 0;
    }
    void text(std::string &into) {
        uint64_t length = number(most_tag_bytes);
        valid = valid && uint64_t(end - at) >= length;
        if (valid) {
            into.assign(at, size_t(length));
            at += length;
        }
    }
    void tags(Tags &tags) {
        for (uint32_t *value : {&tags.track, &tags.disc, &tags.year})
            *value = uint32_t(number(UINT32_MAX));
        for (std::string *value : {&tags.title, &tags.artist, &tags.album_artist, &tags.album, &tags.genre, &tags.composer})
            text(*value);
    }
};
} // namespace


bool decode_reading(const char *bytes, size_t length, Reading &reading) {
    Bytes in = {bytes, bytes + length};
    reading = Reading();
    uint64_t outcome = in.number(Reading::unreadable);
    in.valid = in.valid && outcome != Reading::not_regular;
    reading.outcome = Reading::Outcome(outcome);
    reading.error = int(int64_t(in.number(UINT64_MAX)));
    reading.duration_ms = int64_t(in.number(uint64_t(longest_ms)));
    in.tags(reading.tags);
    reading.chapters.resize(size_t(in.number(most_chapters)));
    for (Chapter &chapter : reading.chapters) {
        chapter.start_ms = int64_t(in.number(uint64_t(longest_ms)));
        in.text(chapter.title);
    }
    in.tags(reading.sheet.tags);
    reading.sheet.files.resize(size_t(in.number(most_cue_tracks)));
    size_t tracks = 0;
    for (CueFile &file : reading.sheet.files) {
        in.text(file.name);
        in.text(file.raw_name);
        file.tracks.resize(size_t(in.number(most_cue_tracks)));
        tracks += file.tracks.size();
        in.valid = in.valid && tracks <= most_cue_tracks;
        for (CueTrack &track : file.tracks) {
            track.start_ms = int64_t(in.number(uint64_t(longest_ms)));
            in.tags(track.tags);
        }
    }
    return in.valid && in.at == in.end;
}
