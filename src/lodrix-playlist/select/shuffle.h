#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "fields.h"

// --shuffle: a generator that gives the same numbers for a seed everywhere, and three ways
// to mix a list with it.

/// How --shuffle mixes a list.
enum class ShuffleMode { none, tracks, albums, spread };

/// Reads --shuffle's mode: tracks, albums or spread. False for another.
bool parse_shuffle_mode(const std::string &text, ShuffleMode &mode);

/// A generator of random numbers that gives the same ones for a seed everywhere (xoshiro256**
/// seeded by splitmix64, integer arithmetic only).
class Random {
  public:
    explicit Random(uint64_t seed);
    /// The next 64 random bits.
    uint64_t next();
    /// A number from 0 to bound - 1, every one equally likely (bound above 0).
    uint64_t below(uint64_t bound);

  private:
    uint64_t state[4];
};

/// Mixes tracks as mode asks: tracks, every order equally likely; albums, whole albums (album
/// artist or artist, and album; else the folder) in random order, each in its order; spread,
/// random with no two tracks of one artist next to each other wherever the list allows it.
void shuffle_tracks(std::vector<Track> &tracks, ShuffleMode mode, Random &random, const MediaFiles &files);
