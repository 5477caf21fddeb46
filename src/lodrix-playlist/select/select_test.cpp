// The selection's other parsers, case folding and the shuffles.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "lodrix-playlist/lib/text/case.h"
#include "lodrix-playlist/select/dates.h"
#include "lodrix-playlist/select/select.h"

TEST(Selection, LimitsSortKeysAndModes) {
    const struct {
        const char *text;
        bool read;
        Limit::Kind kind;
        uint64_t amount;
    } limits[] = {
        {"20", true, Limit::count, 20},    {"90m", true, Limit::duration, 5400000}, {"1h30m", true, Limit::duration, 5400000},
        {"45s", true, Limit::duration, 45000}, {"3:30", true, Limit::duration, 210000}, {"0", false, Limit::none, 0},
        {"0s", false, Limit::none, 0},     {"lots", false, Limit::none, 0},          {"", false, Limit::none, 0},
        {"-1", false, Limit::none, 0},     {"18446744073709552s", false, Limit::none, 0},
    };
    for (const auto &c : limits) {
        Limit limit;
        EXPECT_EQ(parse_limit(c.text, limit), c.read) << c.text;
        if (c.read)
            EXPECT_TRUE(limit.kind == c.kind && limit.amount == c.amount) << c.text;
    }
    const struct {
        const char *text;
        bool read;
        const char *key; // the one that is no field
    } sorts[] = {
        {"artist,-year", true, "-year"}, {"albumartist,-length,path", true, "path"}, {"bogus", false, "bogus"},
        {"artist,,year", false, "artist,,year"}, {"", false, ""}, {"-", false, "-"}, {"--year", false, "--year"},
        {"title,Year", false, "Year"},
    };
    for (const auto &c : sorts) {
        std::vector<SortKey> keys;
        std::string key;
        EXPECT_EQ(parse_sort_keys(c.text, keys, key), c.read) << c.text;
        EXPECT_EQ(key, c.key) << c.text;
    }
    std::vector<SortKey> keys;
    std::string key;
    ASSERT_TRUE(parse_sort_keys("artist,-year", keys, key));
    EXPECT_TRUE(keys.size() == 2 && keys[0].field == Field::artist && !keys[0].descending &&
                keys[1].field == Field::year && keys[1].descending);
    ShuffleMode mode;
    EXPECT_TRUE(parse_shuffle_mode("spread", mode) && mode == ShuffleMode::spread);
    EXPECT_FALSE(parse_shuffle_mode("Albums", mode));
}

// A UTC time as seconds since 1970.
static uint64_t utc(const char *text) {
    tm time = {};
    strptime(text, "%Y-%m-%dT%H:%M:%S", &time);
    return uint64_t(timegm(&time));
}

// mtime's dates in Central European time, which changes to summer time on 2024-03-31 and
// 2025-03-30, from 2025-03-15 12:00.
TEST(Selection, Dates) {
    const char *zone = getenv("TZ");
    std::string kept = zone != nullptr ? zone : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    const int64_t now = int64_t(utc("2025-03-15T11:00:00"));
    const struct {
        const char *text;
        uint64_t low, high; // 0, 0 for one that cannot be read
    } cases[] = {
        {"2024", utc("2023-12-31T23:00:00"), utc("2024-12-31T22:59:59")},
        {"2024-03..2024-06", utc("2024-02-29T23:00:00"), utc("2024-06-30T21:59:59")},
        {"2024-03-31", utc("2024-03-30T23:00:00"), utc("2024-03-31T21:59:59")},
        {"2024-06-30T23:59:59", utc("2024-06-30T21:59:59"), utc("2024-06-30T21:59:59")},
        {"2024-06-30 23:59", utc("2024-06-30T21:59:00"), utc("2024-06-30T21:59:59")},
        {"2024-06-30T23", utc("2024-06-30T21:00:00"), utc("2024-06-30T21:59:59")},
        {"2024..", utc("2023-12-31T23:00:00"), UINT64_MAX},
        {"..1969", 0, 0},
        {"-30d..", utc("2025-02-12T23:00:00"), UINT64_MAX},
        {"-2w..", utc("2025-02-28T23:00:00"), UINT64_MAX},
        {"-1m", utc("2025-02-14T23:00:00"), utc("2025-02-15T22:59:59")},
        {"-1y..-1d", utc("2024-03-14T23:00:00"), utc("2025-03-14T22:59:59")},
        {"+20d", utc("2025-04-03T22:00:00"), utc("2025-04-04T21:59:59")},
    };
    for (const auto &c : cases) {
        uint64_t low = 1, high = 1;
        EXPECT_TRUE(parse_date_range_at(c.text, now, low, high)) << c.text;
        EXPECT_EQ(low, c.low) << c.text;
        EXPECT_EQ(high, c.high) << c.text;
    }
    for (const char *wrong : {"2024-02-30", "2024-13", "24", "2024-3", "2024-03-15T24", "2024-03-15X10", "x", "..",
                              "-30x", "-d", "30d", "", "2024-03-15T10:30:00Z"}) {
        uint64_t low, high;
        EXPECT_FALSE(parse_date_range_at(wrong, now, low, high)) << wrong;
    }
    EXPECT_EQ(local_date(int64_t(utc("2024-06-30T22:30:00"))), "2024-07-01");
    if (zone != nullptr)
        setenv("TZ", kept.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

// Unicode's case folding, composed: what a query and a sort key compare.
TEST(Selection, CaseFolding) {
    const struct {
        const char *text, *folded;
    } cases[] = {
        {"\xc3\x84RGER", "\xc3\xa4rger"},        // ÄRGER
        {"A\xcc\x88rger", "\xc3\xa4rger"},        // A and a combining diaeresis
        {"\xc4RGER", "\xc3\xa4rger"},              // Latin-1, as a tag is read
        {"Stra\xc3\x9f" "e", "strasse"},           // ß
        {"\xce\xa3\xce\x91\xce\xa3", "\xcf\x83\xce\xb1\xcf\x83"}, // ΣΑΣ
        {"\xef\xac\x81ne", "fine"},                // the ligature fi
        {"MiXeD 42", "mixed 42"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(case_folded(c.text), c.folded) << c.text;
    EXPECT_EQ(base_letters("\xc3\x89lectro"), "electro"); // Électro
}

// xoshiro256** seeded by splitmix64, as its authors publish them: the same numbers everywhere.
TEST(Selection, RandomNumbersOfASeed) {
    Random zero(0), answer(42);
    EXPECT_EQ(zero.next(), 0x99ec5f36cb75f2b4u);
    EXPECT_EQ(zero.next(), 0xbf6e1f784956452au);
    EXPECT_EQ(answer.next(), 0x15780b2e0c2ec716u);
    for (uint64_t bound : {uint64_t(1), uint64_t(3), uint64_t(1) << 63, UINT64_MAX})
        for (int i = 0; i < 100; ++i)
            ASSERT_LT(answer.below(bound), bound);
}

static std::vector<Track> tracks_by(const std::string &artists) {
    std::vector<Track> tracks;
    for (char artist : artists) {
        Track track;
        track.file = 0;
        track.tags.artist = std::string(1, artist);
        track.tags.title = std::to_string(tracks.size());
        tracks.push_back(track);
    }
    return tracks;
}

// Three tracks shuffled 60,000 times: each of the six orders about 10,000 times.
TEST(Shuffle, EveryOrderEquallyLikely) {
    MediaFiles files;
    Random random(7);
    std::map<std::string, int> seen;
    for (int i = 0; i < 60000; ++i) {
        std::vector<Track> tracks = tracks_by("abc");
        shuffle_tracks(tracks, ShuffleMode::tracks, random, files);
        ++seen[tracks[0].tags.artist + tracks[1].tags.artist + tracks[2].tags.artist];
    }
    EXPECT_EQ(seen.size(), 6u);
    for (const auto &order : seen)
        EXPECT_NEAR(order.second, 10000, 500) << order.first;
}

// Spread, for many seeds: no artist twice in a row where the list allows it, and where one
// artist holds too many, as few of theirs in a row as can be; every track once.
TEST(Shuffle, SpreadKeepsArtistsApart) {
    MediaFiles files;
    const struct {
        const char *artists;
        int least_neighbours;
    } cases[] = {{"aaabbbc", 0}, {"aaaabbbb", 0}, {"aaaab  ", 0}, {"aaaaabb", 2}, {"aaaa", 3}, {"a", 0}, {"   ", 0}};
    for (const auto &c : cases)
        for (uint64_t seed = 0; seed < 200; ++seed) {
            Random random(seed);
            std::vector<Track> tracks = tracks_by(c.artists);
            for (Track &track : tracks)
                if (track.tags.artist == " ")
                    track.tags.artist.clear(); // without an artist: next to anyone
            shuffle_tracks(tracks, ShuffleMode::spread, random, files);
            int neighbours = 0;
            std::string titles;
            for (size_t i = 0; i < tracks.size(); ++i) {
                neighbours += i > 0 && !tracks[i].tags.artist.empty() && tracks[i].tags.artist == tracks[i - 1].tags.artist;
                titles += tracks[i].tags.title;
            }
            std::sort(titles.begin(), titles.end());
            EXPECT_EQ(titles, std::string("0123456789").substr(0, tracks.size())) << c.artists;
            EXPECT_EQ(neighbours, c.least_neighbours) << c.artists << " seed " << seed;
        }
}

