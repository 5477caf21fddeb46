#include "sort.h"

#include <algorithm>
#include <numeric>

#include "lodrix-playlist/lib/text/case.h"
#include "lodrix-playlist/lib/text/text.h"

bool parse_sort_keys(const std::string &text, std::vector<SortKey> &keys, std::string &key) {
    keys.clear();
    for (size_t start = 0;;) {
        size_t comma = std::min(text.find(',', start), text.size());
        key = text.substr(start, comma - start);
        SortKey parsed;
        parsed.descending = !key.empty() && key[0] == '-';
        if (!field_named(key.substr(parsed.descending ? 1 : 0), parsed.field)) {
            if (key.empty())
                key = text;
            return false;
        }
        keys.push_back(parsed);
        if (comma == text.size())
            return true;
        start = comma + 1;
    }
}

// Puts tracks in order, the one at order[0] first, and so on: in place, a cycle of moves at a
// time, so that a list of 100,000 is not held twice.
void permute(std::vector<Track> &tracks, const std::vector<size_t> &order) {
    std::vector<bool> placed(tracks.size());
    for (size_t start = 0; start < tracks.size(); ++start) {
        if (placed[start])
            continue;
        Track first = std::move(tracks[start]);
        size_t place = start;
        for (; order[place] != start; place = order[place]) {
            tracks[place] = std::move(tracks[order[place]]);
            placed[place] = true;
        }
        tracks[place] = std::move(first);
        placed[place] = true;
    }
}

void sort_tracks(std::vector<Track> &tracks, const std::vector<SortKey> &keys, const MediaFiles &files) {
    // Each key's values, folded once per track rather than once per comparison.
    // A text's base letters come first, so that an accented letter sorts with its own.
    struct Column {
        SortKey key;
        std::vector<std::string> bases, texts;
        std::vector<uint64_t> numbers;
    };
    std::vector<Column> columns;
    for (const SortKey &key : keys) {
        Column column{key, {}, {}, {}};
        for (const Track &track : tracks)
            if (is_number_field(key.field)) {
                column.numbers.push_back(number_field(track, key.field, files));
            } else {
                column.texts.push_back(folded_field(track, key.field, files));
                column.bases.push_back(base_letters(column.texts.back()));
            }
        columns.push_back(std::move(column));
    }
    std::vector<size_t> order(tracks.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&columns](size_t a, size_t b) {
        for (const Column &column : columns) {
            bool descending = column.key.descending;
            if (is_number_field(column.key.field)) {
                uint64_t x = column.numbers[a], y = column.numbers[b];
                if ((x == 0) != (y == 0))
                    return y == 0;
                if (x != y)
                    return descending ? x > y : x < y;
            } else {
                if (column.texts[a].empty() != column.texts[b].empty())
                    return column.texts[b].empty();
                for (const std::vector<std::string> *text : {&column.bases, &column.texts}) {
                    const std::string &x = (*text)[a], &y = (*text)[b];
                    if (natural_less(x, y))
                        return !descending;
                    if (natural_less(y, x))
                        return descending;
                }
            }
        }
        return false;
    });
    permute(tracks, order);
}

