#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "fields.h"

// --limit: what is kept of a list, by count or by playing time.

/// What --limit keeps of a list.
struct Limit {
    enum Kind { none, count, duration } kind = none;
    uint64_t amount = 0; ///< tracks, or milliseconds
};

/// Reads --limit: a count of tracks ("20") or a duration ("90m", "1h30m", "3:30"), above 0.
bool parse_limit(const std::string &text, Limit &limit);

/// Keeps of tracks what left (tracks or milliseconds, as limit counts) still takes, and
/// takes it from left: the first tracks, or in order each track that still fits.
void apply_limit(std::vector<Track> &tracks, const Limit &limit, uint64_t &left);
