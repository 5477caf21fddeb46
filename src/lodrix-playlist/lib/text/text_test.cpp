// Natural order and the media extensions.
#include <gtest/gtest.h>

#include <string>

#include "lodrix-playlist/lib/text/extensions.h"
#include "lodrix-playlist/lib/text/text.h"

// One list in playlist order, each name before every later one (as gnulib tests version order).
TEST(NaturalOrder, OneListInOrder) {
    const char *const names[] = {
        "#1.mp3",          "1.mp3",         "2.mp3",         "007.mp3",
        "10.mp3",          "track 1.mp3",   "Track 2.mp3",   "track 02b.mp3",
        "Track 007.mp3",   "track 10.mp3",  "Track 10a.mp3", "track 99999999999999999999.mp3",
        "track 100000000000000000000.mp3",  "tracks.mp3",    "x-.mp3",
        "x1.mp3",          "xa.mp3",        "\xc3\xa4.mp3",
    };
    const size_t count = sizeof names / sizeof names[0];
    for (size_t i = 0; i < count; ++i)
        for (size_t j = i; j < count; ++j) {
            EXPECT_EQ(natural_less(names[i], names[j]), i < j) << names[i] << " < " << names[j];
            EXPECT_FALSE(natural_less(names[j], names[i])) << names[j] << " < " << names[i];
        }
}

TEST(MediaExtension, AudioAndVideoInAnyCase) {
    const struct {
        const char *name;
        bool media;
    } cases[] = {
        {"a.mp3", true},   {"A.MP3", true},    {"x.Flac", true},   {"a.b.wav", true},
        {"o.opus", true},  {"m.m4a", true},    {"v.mkv", true},    {"t.ts", true},
        {"a.mp3.part", false}, {"mp3", false}, {"a.", false},      {"a.mp", false},
        {"a.mp33", false}, {"notes.txt", false}, {"cover.jpg", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(has_media_extension(c.name), c.media) << c.name;
}

