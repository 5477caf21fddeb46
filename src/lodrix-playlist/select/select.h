#pragma once

#include <stdint.h>

#include <vector>

#include "limit.h"
#include "query.h"
#include "shuffle.h"
#include "sort.h"

// The fourth stage: of each batch of tracks, what --match keeps, in --sort's or --shuffle's
// order, as much as --limit leaves (Selector). Each step is a file: query, sort, shuffle,
// limit, over the fields they read (fields.h).

/// What --match, --sort, --shuffle, --seed and --limit ask for.
struct Selection {
    std::vector<Query> queries; ///< a track is kept where any of them matches; none: all are
    std::vector<SortKey> sort_keys;
    ShuffleMode shuffle = ShuffleMode::none;
    uint64_t seed = 0;
    Limit limit;
};

/// Applies a selection to the lists Tracks makes, in the order match, sort, shuffle, limit,
/// keeping what the limit leaves and the generator from one part of a list to the next.
class Selector {
  public:
    /// each_folder: every part given is a list of its own (a folder's).
    Selector(const Selection &selection, const MediaFiles &files, bool each_folder);
    /// True when every track of the run must be given at once: a sort or a shuffle of the one
    /// playlist (with each_folder, a sort or a shuffle needs each folder's whole list).
    bool needs_all_tracks() const;
    /// Selects from tracks, the next part of a list in order: the whole list where
    /// needs_all_tracks or, with each_folder, for a sort or a shuffle.
    void apply(std::vector<Track> &tracks);
    /// apply's first step alone: keeps the tracks --match keeps.
    void match(std::vector<Track> &tracks) const;
    /// True where --match keeps track (every track without a query).
    bool keeps(const Track &track) const;
    /// apply's other steps, on tracks already matched.
    void arrange(std::vector<Track> &tracks);
    /// True once the limit keeps no further track (never with each_folder).
    bool finished() const;

  private:
    const Selection &selection;
    const MediaFiles &files;
    bool each_folder;
    Random random;
    uint64_t left = 0; ///< what the limit still keeps of the list: tracks or milliseconds
};
