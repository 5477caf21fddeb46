#include "select.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <new>
#include <numeric>
#include <set>
#include <unordered_map>
#include <utility>

#include <utf8proc.h>

#include "lodrix-playlist/text/text.h"
#include "random_seed.h"
#include "tracks.h"
#include "xspf/xspf.h"

static const char unknown_field_message[] =
    "lodrix-playlist: --match: %s: unbekanntes Feld (title, artist, albumartist, album, genre, composer, year, "
    "track, disc, length, path)\n";
static const char not_numbers_message[] =
    "lodrix-playlist: --match: %s: keine Zahl und keine Spanne (etwa year:1970..1989, length:3m..5m)\n";
static const char unclosed_quote_message[] = "lodrix-playlist: --match: %s: Anfuehrungszeichen nicht geschlossen\n";
static const char empty_term_message[] = "lodrix-playlist: --match: %s: kein Begriff nach ^\n";
static const char unknown_key_message[] =
    "lodrix-playlist: --sort: %s: unbekanntes Feld (title, artist, albumartist, album, genre, composer, year, "
    "track, disc, length, path; -FELD absteigend)\n";
static const char wrong_shuffle_message[] = "lodrix-playlist: --shuffle=%s: tracks, albums oder spread\n";
static const char wrong_seed_message[] = "lodrix-playlist: --seed=%s: keine Zahl von 0 bis 18446744073709551615\n";
static const char wrong_limit_message[] = "lodrix-playlist: --limit=%s: weder Anzahl noch Dauer (etwa 20, 90m, 1h30m, 3:30)\n";

static const struct {
    const char *name;
    Field field;
} field_names[] = {
    {"title", Field::title}, {"artist", Field::artist}, {"albumartist", Field::album_artist},
    {"album", Field::album}, {"genre", Field::genre},   {"composer", Field::composer},
    {"year", Field::year},   {"track", Field::track},   {"disc", Field::disc},
    {"length", Field::length}, {"path", Field::path},
};

static bool field_named(const std::string &name, Field &field) {
    for (const auto &known : field_names)
        if (name == known.name) {
            field = known.field;
            return true;
        }
    return false;
}

static bool is_number_field(Field field) {
    return field == Field::year || field == Field::track || field == Field::disc || field == Field::length;
}

static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
static bool is_digit(char c) { return c >= '0' && c <= '9'; }
static bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A count of digits, none other, that fits 64 bits.
static bool parse_number(const std::string &text, uint64_t &number) {
    if (text.empty())
        return false;
    number = 0;
    for (char c : text) {
        if (!is_digit(c) || number > (UINT64_MAX - uint64_t(c - '0')) / 10)
            return false;
        number = number * 10 + uint64_t(c - '0');
    }
    return true;
}

static bool add_product(uint64_t &total, uint64_t number, uint64_t factor) {
    if (number > (UINT64_MAX - total) / factor)
        return false;
    total += number * factor;
    return true;
}

bool parse_duration(const std::string &text, uint64_t &seconds) {
    if (parse_number(text, seconds))
        return true;
    seconds = 0;
    if (text.find(':') != std::string::npos) {
        // [h:]m:ss, the parts after the first of one or two digits, below 60.
        for (size_t start = 0, parts = 1;; ++parts) {
            size_t colon = std::min(text.find(':', start), text.size());
            std::string digits = text.substr(start, colon - start);
            uint64_t part;
            if (parts > 3 || !parse_number(digits, part) || (parts > 1 && (digits.size() > 2 || part >= 60)) ||
                seconds > (UINT64_MAX - part) / 60)
                return false;
            seconds = seconds * 60 + part;
            if (colon == text.size())
                return true;
            start = colon + 1;
        }
    }
    // Numbers with h, m and s after them, in that order, each at most once.
    static const struct {
        char unit;
        uint64_t factor;
    } units[] = {{'h', 3600}, {'m', 60}, {'s', 1}};
    size_t position = 0, unit = 0;
    while (position < text.size()) {
        size_t digits = position;
        while (digits < text.size() && is_digit(text[digits]))
            ++digits;
        if (digits == position || digits == text.size())
            return false;
        while (unit < 3 && units[unit].unit != text[digits])
            ++unit;
        uint64_t number;
        if (unit == 3 || !parse_number(text.substr(position, digits - position), number) ||
            !add_product(seconds, number, units[unit].factor))
            return false;
        ++unit;
        position = digits + 1;
    }
    return position > 0;
}

// FIELD:N, FIELD:LOW..HIGH, FIELD:LOW.., FIELD:..HIGH; for length, durations.
static bool parse_range(const std::string &text, Field field, QueryTerm &term) {
    auto bound = [field](const std::string &part, uint64_t &number) {
        return field == Field::length ? parse_duration(part, number) : parse_number(part, number);
    };
    size_t dots = text.find("..");
    if (dots == std::string::npos) {
        if (!bound(text, term.low))
            return false;
        term.high = term.low;
        return true;
    }
    std::string low = text.substr(0, dots), high = text.substr(dots + 2);
    if (low.empty() && high.empty())
        return false;
    return (low.empty() || bound(low, term.low)) && (high.empty() || bound(high, term.high));
}

// The text mapped by utf8proc with options; a text that is not UTF-8 read as a tag is.
static std::string mapped(const std::string &text, utf8proc_option_t options) {
    if (std::all_of(text.begin(), text.end(), [](char c) { return (unsigned char)c < 0x80; }))
        return lowercase(text);
    utf8proc_uint8_t *result = nullptr;
    utf8proc_ssize_t length =
        utf8proc_map((const utf8proc_uint8_t *)text.data(), utf8proc_ssize_t(text.size()), &result, options);
    if (length < 0) {
        static char shown[most_tag_bytes + 1];
        length = utf8proc_map((const utf8proc_uint8_t *)shown, utf8proc_ssize_t(tag_as_utf8(text.c_str(), shown)),
                              &result, options);
    }
    std::string mapped_text = length > 0 ? std::string((const char *)result, size_t(length)) : std::string();
    free(result);
    if (length == UTF8PROC_ERROR_NOMEM)
        throw std::bad_alloc();
    return mapped_text;
}

std::string case_folded(const std::string &text) {
    return mapped(text, utf8proc_option_t(UTF8PROC_STABLE | UTF8PROC_COMPOSE | UTF8PROC_COMPAT | UTF8PROC_CASEFOLD |
                                          UTF8PROC_IGNORE));
}

std::string base_letters(const std::string &text) {
    return mapped(text, utf8proc_option_t(UTF8PROC_STABLE | UTF8PROC_DECOMPOSE | UTF8PROC_COMPAT | UTF8PROC_CASEFOLD |
                                          UTF8PROC_IGNORE | UTF8PROC_STRIPMARK));
}

QueryError parse_query(const std::string &text, Query &query, std::string &term) {
    query.clear();
    for (size_t position = 0;;) {
        while (position < text.size() && is_blank(text[position]))
            ++position;
        if (position == text.size())
            return QueryError::none;
        // The term's characters without its quotes, each marked where it was quoted.
        size_t start = position;
        std::string characters;
        std::vector<bool> quoted;
        bool in_quotes = false;
        for (; position < text.size() && (in_quotes || !is_blank(text[position])); ++position)
            if (text[position] == '"') {
                in_quotes = !in_quotes;
            } else {
                characters += text[position];
                quoted.push_back(in_quotes);
            }
        term = text.substr(start, position - start);
        if (in_quotes)
            return QueryError::unclosed_quote;
        QueryTerm parsed;
        size_t next = 0;
        if (!characters.empty() && characters[0] == '^' && !quoted[0]) {
            parsed.negated = true;
            next = 1;
            if (term.size() == 1)
                return QueryError::empty_term;
        }
        // FIELD: is letters (in any case) and an unquoted colon; anything else is text to look for.
        size_t name_end = next;
        while (name_end < characters.size() && !quoted[name_end] && is_letter(characters[name_end]))
            ++name_end;
        std::string value;
        if (name_end > next && name_end < characters.size() && characters[name_end] == ':' && !quoted[name_end]) {
            if (!field_named(lowercase(characters.substr(next, name_end - next)), parsed.field))
                return QueryError::unknown_field;
            size_t value_start = name_end + 1;
            bool exact = value_start < characters.size() && characters[value_start] == '=' && !quoted[value_start];
            value = characters.substr(value_start + (exact ? 1 : 0));
            if (is_number_field(parsed.field)) {
                parsed.kind = QueryTerm::range;
                if (!parse_range(value, parsed.field, parsed))
                    return QueryError::not_numbers;
            } else {
                parsed.kind = exact ? QueryTerm::equals : QueryTerm::contains;
            }
        } else {
            parsed.kind = QueryTerm::anywhere;
            value = characters.substr(next);
        }
        if (parsed.kind != QueryTerm::range)
            parsed.text = case_folded(value);
        query.push_back(std::move(parsed));
    }
}

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

bool parse_limit(const std::string &text, Limit &limit) {
    uint64_t seconds;
    if (parse_number(text, limit.amount)) {
        limit.kind = Limit::count;
    } else if (parse_duration(text, seconds) && seconds <= UINT64_MAX / 1000) {
        limit.kind = Limit::duration;
        limit.amount = seconds * 1000;
    } else {
        return false;
    }
    return limit.amount > 0;
}

bool read_selection(const Options &options, Selection &selection) {
    selection = Selection();
    for (const char *text : options.matches) {
        Query query;
        std::string term;
        QueryError error = parse_query(text, query, term);
        if (error != QueryError::none) {
            const char *message = error == QueryError::unknown_field  ? unknown_field_message
                                  : error == QueryError::not_numbers  ? not_numbers_message
                                  : error == QueryError::unclosed_quote ? unclosed_quote_message
                                                                        : empty_term_message;
            fprintf(stderr, message, printable(term).c_str());
            return false;
        }
        selection.queries.push_back(std::move(query));
    }
    std::string key;
    if (options.sort != nullptr && !parse_sort_keys(options.sort, selection.sort_keys, key)) {
        fprintf(stderr, unknown_key_message, printable(key).c_str());
        return false;
    }
    if (options.shuffle != nullptr && !parse_shuffle_mode(options.shuffle, selection.shuffle)) {
        fprintf(stderr, wrong_shuffle_message, printable(options.shuffle).c_str());
        return false;
    }
    if (options.seed != nullptr && !parse_number(options.seed, selection.seed)) {
        fprintf(stderr, wrong_seed_message, printable(options.seed).c_str());
        return false;
    }
    if (options.limit != nullptr && !parse_limit(options.limit, selection.limit)) {
        fprintf(stderr, wrong_limit_message, printable(options.limit).c_str());
        return false;
    }
    if (selection.shuffle != ShuffleMode::none && options.seed == nullptr)
        selection.seed = random_seed();
    return true;
}

// A tag as the playlist shows it: printable ASCII as it is, anything else as tag_as_utf8 reads it.
static std::string shown_tag(const std::string &tag) {
    if (std::all_of(tag.begin(), tag.end(), [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\t'; }))
        return tag;
    static char shown[most_tag_bytes + 1];
    return std::string(shown, tag_as_utf8(tag.c_str(), shown));
}

// The tag a text field reads; null for the path.
static const std::string *field_tag(const Tags &tags, Field field) {
    switch (field) {
    case Field::title: return &tags.title;
    case Field::artist: return tags.artist.empty() ? &tags.album_artist : &tags.artist;
    case Field::album_artist: return &tags.album_artist;
    case Field::album: return &tags.album;
    case Field::genre: return &tags.genre;
    case Field::composer: return &tags.composer;
    default: return nullptr;
    }
}

// A text field of a track, case-folded; "" where the track has none.
static std::string folded_field(const Track &track, Field field, const MediaFiles &files) {
    if (field == Field::path)
        return case_folded(media_file_path(files, track.file));
    return case_folded(shown_tag(*field_tag(track.tags, field)));
}

// A number field of a track (length in milliseconds); 0 where the track has none.
static uint64_t number_field(const Track &track, Field field) {
    switch (field) {
    case Field::year: return track.tags.year;
    case Field::track: return track.tags.track;
    case Field::disc: return track.tags.disc;
    default: return track.end_ms > track.start_ms ? uint64_t(track.end_ms - track.start_ms) : 0;
    }
}

// One track's text fields, each folded the first time a term asks for it.
class FoldedFields {
  public:
    FoldedFields(const Track &track, const MediaFiles &files) : track(track), files(files) {}
    const std::string &operator[](Field field) {
        size_t index = size_t(field);
        if (!done[index]) {
            texts[index] = folded_field(track, field, files);
            done[index] = true;
        }
        return texts[index];
    }

  private:
    const Track &track;
    const MediaFiles &files;
    std::string texts[size_t(Field::path) + 1];
    bool done[size_t(Field::path) + 1] = {};
};

static bool holds(const std::string &field, const std::string &text) {
    return !field.empty() && field.find(text) != std::string::npos;
}

static bool term_matches(const QueryTerm &term, FoldedFields &fields, const Track &track) {
    switch (term.kind) {
    case QueryTerm::contains: return holds(fields[term.field], term.text);
    case QueryTerm::equals: return !fields[term.field].empty() && fields[term.field] == term.text;
    case QueryTerm::anywhere:
        return holds(fields[Field::title], term.text) || holds(fields[Field::artist], term.text) ||
               holds(fields[Field::album_artist], term.text) || holds(fields[Field::album], term.text) ||
               holds(fields[Field::path], term.text);
    case QueryTerm::range: {
        uint64_t number = number_field(track, term.field);
        if (number == 0)
            return false;
        // A length is matched in the whole seconds a player shows.
        if (term.field == Field::length)
            number /= 1000;
        return number >= term.low && number <= term.high;
    }
    }
    return false;
}

bool matches(const Query &query, const Track &track, const MediaFiles &files) {
    FoldedFields fields(track, files);
    return std::all_of(query.begin(), query.end(),
                       [&](const QueryTerm &term) { return term_matches(term, fields, track) != term.negated; });
}

// Puts tracks in order, the one at order[0] first, and so on: in place, a cycle of moves at a
// time, so that a list of 100,000 is not held twice.
static void permute(std::vector<Track> &tracks, const std::vector<size_t> &order) {
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
                column.numbers.push_back(number_field(track, key.field));
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

Selector::Selector(const Selection &selection, const MediaFiles &files, bool each_folder)
    : selection(selection), files(files), each_folder(each_folder), random(selection.seed),
      left(selection.limit.amount) {}

bool Selector::needs_all_tracks() const {
    return !each_folder && (!selection.sort_keys.empty() || selection.shuffle != ShuffleMode::none);
}

bool Selector::finished() const { return !each_folder && selection.limit.kind == Limit::count && left == 0; }

void Selector::apply(std::vector<Track> &tracks) {
    if (each_folder)
        left = selection.limit.amount;
    if (!selection.queries.empty())
        tracks.erase(std::remove_if(tracks.begin(), tracks.end(),
                                    [this](const Track &track) {
                                        return std::none_of(selection.queries.begin(), selection.queries.end(),
                                                            [&](const Query &query) { return matches(query, track, files); });
                                    }),
                     tracks.end());
    if (!selection.sort_keys.empty())
        sort_tracks(tracks, selection.sort_keys, files);
    shuffle_tracks(tracks, selection.shuffle, random, files);
    if (selection.limit.kind == Limit::count) {
        size_t kept = size_t(std::min<uint64_t>(left, tracks.size()));
        tracks.resize(kept);
        left -= kept;
    } else if (selection.limit.kind == Limit::duration) {
        // Each track that still fits, in order: a later, shorter one may fit where one did not.
        tracks.erase(std::remove_if(tracks.begin(), tracks.end(),
                                    [this](const Track &track) {
                                        uint64_t length = number_field(track, Field::length);
                                        if (length > left)
                                            return true;
                                        left -= length;
                                        return false;
                                    }),
                     tracks.end());
    }
}
