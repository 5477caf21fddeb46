#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "lodrix-playlist/options/options.h"
#include "lodrix-playlist/walk/media_files.h"

/// A playlist entry (tracks.h), which this module selects and orders.
struct Track;

/// What a query term or a sort key names of a track.
enum class Field { title, artist, album_artist, album, genre, composer, year, track, disc, length, path };

/// One term of a query.
struct QueryTerm {
    enum Kind {
        contains, ///< field holds text, in any case
        equals,   ///< field is text, in any case
        range,    ///< field's number is from low to high
        anywhere, ///< title, artist, album artist, album or path holds text
    } kind = anywhere;
    Field field = Field::title; ///< not read for anywhere
    bool negated = false;       ///< "^" before the term: a track matches where the term does not
    std::string text;                    ///< case-folded, for every kind but range
    uint64_t low = 0, high = UINT64_MAX; ///< for range; whole seconds for length
};

/// Terms a track must all match.
using Query = std::vector<QueryTerm>;

/// Why a query could not be read.
enum class QueryError { none, unknown_field, not_numbers, unclosed_quote, empty_term };

/// One key of --sort.
struct SortKey {
    Field field;
    bool descending;
};

/// How --shuffle mixes a list.
enum class ShuffleMode { none, tracks, albums, spread };

/// What --limit keeps of a list.
struct Limit {
    enum Kind { none, count, duration } kind = none;
    uint64_t amount = 0; ///< tracks, or milliseconds
};

/// What --match, --sort, --shuffle, --seed and --limit ask for.
struct Selection {
    std::vector<Query> queries; ///< a track is kept where any of them matches; none: all are
    std::vector<SortKey> sort_keys;
    ShuffleMode shuffle = ShuffleMode::none;
    uint64_t seed = 0;
    Limit limit;
};

/// The text in Unicode's case folding (NFKC_Casefold), for comparing without case: a text
/// that is not UTF-8 read as the playlist writes a tag (Windows-1252).
std::string case_folded(const std::string &text);

/// The text case-folded without its marks (accents): the letters it sorts by first.
std::string base_letters(const std::string &text);

/// Reads a query (terms separated by blanks; "^" before one negates it; double quotes hold
/// blanks). QueryError::none, or the error and in term the term that could not be read.
QueryError parse_query(const std::string &text, Query &query, std::string &term);

/// Reads a length: seconds ("90"), hours, minutes and seconds in that order ("1h2m3s", "4m",
/// "45s") or with colons ("3:30", "1:02:03"). False when it is none of these.
bool parse_duration(const std::string &text, uint64_t &seconds);

/// Reads --sort's keys ("artist,-year"). False, with key the one that is no field.
bool parse_sort_keys(const std::string &text, std::vector<SortKey> &keys, std::string &key);

/// Reads --shuffle's mode: tracks, albums or spread. False for another.
bool parse_shuffle_mode(const std::string &text, ShuffleMode &mode);

/// Reads --limit: a count of tracks ("20") or a duration ("90m", "1h30m", "3:30"), above 0.
bool parse_limit(const std::string &text, Limit &limit);

/// Reads the options' --match, --sort, --shuffle, --seed and --limit into selection; without
/// --seed, a shuffle's seed comes from the system's random source. False after one line on
/// standard error naming the option and what could not be read.
bool read_selection(const Options &options, Selection &selection);

/// True where query keeps track; files gives its path.
bool matches(const Query &query, const Track &track, const MediaFiles &files);

/// Orders tracks by keys, stably: text case-folded in natural order, by its base letters
/// first ("E" before "F"), then with its marks ("E" before "É"); tracks without a key's field
/// after those with it, in either direction.
void sort_tracks(std::vector<Track> &tracks, const std::vector<SortKey> &keys, const MediaFiles &files);

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
    /// True once the limit keeps no further track (never with each_folder).
    bool finished() const;

  private:
    const Selection &selection;
    const MediaFiles &files;
    bool each_folder;
    Random random;
    uint64_t left = 0; ///< what the limit still keeps of the list: tracks or milliseconds
};
