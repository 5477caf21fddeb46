// A reading's bytes.
#include <errno.h>
#include <gtest/gtest.h>

#include <string>

#include "lodrix-playlist/lib/reading/reading_bytes.h"

// A reading's bytes come from a reader a file may have taken over (or from the cache, which any
// program of the user's can write): each change of a valid encoding that breaks a count, a
// length or a value is refused, and fit_reading makes any reading one that is taken back.
TEST(ReadingFormat, RefusesWhatNoReaderWrites) {
    Reading reading = {Reading::measured, 4200, 0};
    reading.tags.title = "Titel";
    reading.chapters = {{0, "Eins"}, {1500, "Zwei"}};
    reading.sheet.files = {{"a.wav", "", {{0, {}}, {1000, {}}}}};
    std::string valid;
    encode_reading(reading, valid);
    ASSERT_EQ(valid.size(), encoded_size(reading));
    Reading decoded;
    ASSERT_TRUE(decode_reading(valid.data(), valid.size(), decoded));
    EXPECT_EQ(decoded.chapters[1].title, "Zwei");
    // Numbers are seven bits a byte, the high bit set on all but the last. Byte offsets:
    // outcome, error, duration (4200: two bytes); the tags' three numbers, then six texts (the
    // title "Titel", five empty); then the count of chapters.
    const auto number = [](uint64_t value) {
        std::string bytes;
        for (; value >= 0x80; value >>= 7)
            bytes += char((value & 0x7f) | 0x80);
        return bytes + char(value);
    };
    const size_t outcome = 0, error = 1, duration = 2, track = 4, title_length = 7, chapter_count = 7 + 1 + 5 + 5;
    const struct {
        const char *change;
        size_t at, length; ///< the bytes replaced
        std::string by;
    } rows[] = {
        {"an outcome no reader sends (not regular)", outcome, 1, number(Reading::not_regular)},
        {"an outcome that is none", outcome, 1, number(7)},
        {"a duration past a year", duration, 2, number(uint64_t(longest_ms) + 1)},
        {"a track number past 32 bits", track, 1, number(uint64_t(1) << 32)},
        {"a text longer than any tag", title_length, 1, number(most_tag_bytes + 1)},
        {"a text longer than the bytes", title_length, 1, number(1000)},
        {"more chapters than kept", chapter_count, 1, number(most_chapters + 1)},
        {"an error past 64 bits", error, 1, std::string(9, '\xff') + '\x02'},
        {"a number of eleven bytes", track, 1, std::string(10, '\x80') + '\x00'},
    };
    ASSERT_EQ(valid.substr(duration, 2), number(4200));
    ASSERT_EQ(valid.substr(title_length, 6), number(5) + "Titel");
    ASSERT_EQ(valid.substr(chapter_count, 2), number(2) + number(0));
    for (const auto &row : rows) {
        std::string changed = valid.substr(0, row.at) + row.by + valid.substr(row.at + row.length);
        EXPECT_FALSE(decode_reading(changed.data(), changed.size(), decoded)) << row.change;
    }
    EXPECT_FALSE(decode_reading(valid.data(), valid.size() - 1, decoded)) << "cut short";
    EXPECT_FALSE(decode_reading((valid + "x").data(), valid.size() + 1, decoded)) << "a byte too many";

    // A made-up length and chapter start are dropped; chapters too long for a message go, then
    // a sheet too long for one is an error.
    reading.duration_ms = longest_ms + 1;
    reading.chapters.push_back({longest_ms + 1, "spaet"});
    fit_reading(reading);
    EXPECT_EQ(reading.duration_ms, 0);
    EXPECT_EQ(reading.chapters.size(), 2u);
    reading.chapters.assign(most_chapters, {0, std::string(100, 'x')});
    EXPECT_LE(fit_reading(reading), largest_reading);
    EXPECT_TRUE(reading.chapters.empty());
    reading.sheet.files[0].tracks.assign(most_cue_tracks, {0, {}});
    for (CueTrack &cue_track : reading.sheet.files[0].tracks)
        cue_track.tags.title.assign(most_tag_bytes, 'x');
    fit_reading(reading);
    EXPECT_EQ(reading.outcome, Reading::unreadable);
    EXPECT_EQ(reading.error, EFBIG);
}

