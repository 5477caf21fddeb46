#include "shuffle.h"

#include <numeric>
#include <set>
#include <unordered_map>
#include <utility>

#include "sort.h"

bool parse_shuffle_mode(const std::string &text, ShuffleMode &mode) {
    static const struct {
        const char *name;
        ShuffleMode mode;
    } modes[] = {{"tracks", ShuffleMode::tracks}, {"albums", ShuffleMode::albums}, {"spread", ShuffleMode::spread}};
    for (const auto &known : modes)
        if (text == known.name) {
            mode = known.mode;
            return true;
        }
    return false;
}

Random::Random(uint64_t seed) {
    for (uint64_t &word : state) {
        uint64_t z = (seed += 0x9e3779b97f4a7c15);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
        z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
        word = z ^ (z >> 31);
    }
}

static uint64_t rotate_left(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

uint64_t Random::next() {
    uint64_t result = rotate_left(state[1] * 5, 7) * 9, shifted = state[1] << 17;
    state[2] ^= state[0];
    state[3] ^= state[1];
    state[1] ^= state[2];
    state[0] ^= state[3];
    state[2] ^= shifted;
    state[3] = rotate_left(state[3], 45);
    return result;
}

uint64_t Random::below(uint64_t bound) {
    // The numbers below threshold would make the low results likelier: 2^64 mod bound of them.
    uint64_t threshold = (0 - bound) % bound;
    for (;;)
        if (uint64_t number = next(); number >= threshold)
            return number % bound;
}

// Fisher-Yates: every order equally likely.
template <typename T> static void shuffle_all(std::vector<T> &items, Random &random) {
    for (size_t i = items.size(); i > 1; --i)
        std::swap(items[i - 1], items[size_t(random.below(i))]);
}

static const size_t no_group = SIZE_MAX;

// Numbers the tracks' groups by key, as first seen, and lists each group's tracks in order;
// a track without a key is in none (no_group).
static std::vector<std::vector<size_t>> groups_of(const std::vector<std::string> &keys, std::vector<size_t> &group_of) {
    std::unordered_map<std::string, size_t> numbers;
    std::vector<std::vector<size_t>> groups;
    group_of.assign(keys.size(), no_group);
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].empty())
            continue;
        size_t number = numbers.emplace(keys[i], groups.size()).first->second;
        if (number == groups.size())
            groups.emplace_back();
        groups[number].push_back(i);
        group_of[i] = number;
    }
    return groups;
}

static void shuffle_albums(std::vector<Track> &tracks, Random &random, const MediaFiles &files) {
    std::vector<std::string> keys;
    for (const Track &track : tracks) {
        std::string album = folded_field(track, Field::album, files);
        std::string artist = folded_field(track, track.tags.album_artist.empty() ? Field::artist : Field::album_artist, files);
        keys.push_back(!album.empty() ? "a" + artist + '\0' + album
                                      : "f" + std::to_string(files.files[track.file].folder));
    }
    std::vector<size_t> group_of, order;
    std::vector<std::vector<size_t>> albums = groups_of(keys, group_of);
    shuffle_all(albums, random);
    for (const std::vector<size_t> &album : albums)
        order.insert(order.end(), album.begin(), album.end());
    permute(tracks, order);
}

// Random, one track at a time: where an artist other than the last one's holds more than
// half of what is left, one of theirs must come now, or two of theirs would meet later;
// else any track of another artist than the last one. Where one artist holds too much for
// that, theirs are kept apart as long as others are left. A track without an artist is
// next to anyone.
static void spread(std::vector<Track> &tracks, Random &random, const MediaFiles &files) {
    const size_t none = no_group;
    std::vector<std::string> keys;
    for (const Track &track : tracks)
        keys.push_back(folded_field(track, Field::artist, files));
    std::vector<size_t> artist_of;
    std::vector<std::vector<size_t>> artists = groups_of(keys, artist_of);
    // Left: every track not yet placed, and each artist's; each track's place in both.
    std::vector<size_t> left(tracks.size()), place_in_left(tracks.size()), place_in_artist(tracks.size());
    std::iota(left.begin(), left.end(), 0);
    std::iota(place_in_left.begin(), place_in_left.end(), 0);
    std::set<std::pair<size_t, size_t>> by_count;
    for (size_t artist = 0; artist < artists.size(); ++artist) {
        for (size_t i = 0; i < artists[artist].size(); ++i)
            place_in_artist[artists[artist][i]] = i;
        by_count.emplace(artists[artist].size(), artist);
    }
    keys.clear();
    keys.shrink_to_fit();
    auto remove = [](std::vector<size_t> &list, std::vector<size_t> &place, size_t track) {
        place[list.back()] = place[track];
        list[place[track]] = list.back();
        list.pop_back();
    };
    std::vector<size_t> order;
    for (size_t previous = none; !left.empty();) {
        size_t forced = none;
        for (auto most = by_count.rbegin(); most != by_count.rend(); ++most)
            if (most->second != previous) {
                if (most->first > left.size() / 2)
                    forced = most->second;
                break;
            }
        size_t chosen;
        if (forced != none)
            chosen = artists[forced][random.below(artists[forced].size())];
        else if (previous != none && artists[previous].size() == left.size())
            chosen = artists[previous][random.below(left.size())];
        else
            do
                chosen = left[random.below(left.size())];
            while (previous != none && artist_of[chosen] == previous);
        size_t artist = artist_of[chosen];
        remove(left, place_in_left, chosen);
        if (artist != none) {
            by_count.erase({artists[artist].size(), artist});
            remove(artists[artist], place_in_artist, chosen);
            if (!artists[artist].empty())
                by_count.emplace(artists[artist].size(), artist);
        }
        order.push_back(chosen);
        previous = artist;
    }
    permute(tracks, order);
}

void shuffle_tracks(std::vector<Track> &tracks, ShuffleMode mode, Random &random, const MediaFiles &files) {
    switch (mode) {
    case ShuffleMode::none: break;
    case ShuffleMode::tracks: shuffle_all(tracks, random); break;
    case ShuffleMode::albums: shuffle_albums(tracks, random, files); break;
    case ShuffleMode::spread: spread(tracks, random, files); break;
    }
}

