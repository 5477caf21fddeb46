#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "fields.h"

// --sort: the whole list by fields, each either way.

/// One key of --sort.
struct SortKey {
    Field field;
    bool descending;
};

/// Reads --sort's keys ("artist,-year"). False, with key the one that is no field.
bool parse_sort_keys(const std::string &text, std::vector<SortKey> &keys, std::string &key);

/// Orders tracks by keys, stably: text case-folded in natural order, by its base letters
/// first ("E" before "F"), then with its marks ("E" before "É"); tracks without a key's field
/// after those with it, in either direction.
void sort_tracks(std::vector<Track> &tracks, const std::vector<SortKey> &keys, const MediaFiles &files);

/// Puts tracks in order, the one at order[0] first, and so on, in place.
void permute(std::vector<Track> &tracks, const std::vector<size_t> &order);
