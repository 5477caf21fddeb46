#include "select.h"

#include <algorithm>

Selector::Selector(const Selection &selection, const MediaFiles &files, bool each_folder)
    : selection(selection), files(files), each_folder(each_folder), random(selection.seed),
      left(selection.limit.amount) {}

bool Selector::needs_all_tracks() const {
    return !each_folder && (!selection.sort_keys.empty() || selection.shuffle != ShuffleMode::none);
}

bool Selector::finished() const { return !each_folder && selection.limit.kind == Limit::count && left == 0; }

void Selector::apply(std::vector<Track> &tracks) {
    match(tracks);
    arrange(tracks);
}

bool Selector::keeps(const Track &track) const {
    return selection.queries.empty() ||
           std::any_of(selection.queries.begin(), selection.queries.end(),
                       [&](const Query &query) { return matches(query, track, files); });
}

void Selector::match(std::vector<Track> &tracks) const {
    if (!selection.queries.empty())
        tracks.erase(std::remove_if(tracks.begin(), tracks.end(), [this](const Track &track) { return !keeps(track); }),
                     tracks.end());
}

void Selector::arrange(std::vector<Track> &tracks) {
    if (each_folder)
        left = selection.limit.amount;
    if (!selection.sort_keys.empty())
        sort_tracks(tracks, selection.sort_keys, files);
    shuffle_tracks(tracks, selection.shuffle, random, files);
    apply_limit(tracks, selection.limit, left);
}
