#pragma once

#include <stdint.h>

#include <string>

#include "lodrix-playlist/lib/reading/media_files.h"
#include "lodrix-playlist/tracks/tracks.h"

// What a query term or a sort key names of a track, and the values it reads there.

enum class Field { title, artist, album_artist, album, genre, composer, year, track, disc, length, path, mtime };

/// The field a name ("albumartist") names; false for none.
bool field_named(const std::string &name, Field &field);

/// True for the fields that hold numbers: year, track, disc, length, mtime.
bool is_number_field(Field field);

/// A field of a track as the playlist shows it: a tag in UTF-8, the path, a number in decimal
/// digits (length in whole seconds); "" where the track has none.
std::string shown_field(const Track &track, Field field, const MediaFiles &files);

/// shown_field, case-folded.
std::string folded_field(const Track &track, Field field, const MediaFiles &files);

/// A number field of a track (length in milliseconds; mtime, its file's modification time, in
/// seconds since 1970, where the walk took them); 0 where the track has none.
uint64_t number_field(const Track &track, Field field, const MediaFiles &files);

/// The same for a field the track holds itself (any but mtime).
uint64_t number_field(const Track &track, Field field);

/// A field as a list's name shows it: a text as the playlist shows it (UTF-8), a number in
/// decimal (length in whole seconds), mtime as its local date ("2024-03-15"); "" for none.
std::string shown_field(const Track &track, Field field, const MediaFiles &files);

/// A count of digits, none other, that fits 64 bits.
bool parse_number(const std::string &text, uint64_t &number);

/// Reads a length: seconds ("90"), hours, minutes and seconds in that order ("1h2m3s", "4m",
/// "45s") or with colons ("3:30", "1:02:03"). False when it is none of these.
bool parse_duration(const std::string &text, uint64_t &seconds);

/// Reads a length as parse_duration does, its seconds with decimals too ("2.5", "3:30.5",
/// "1m2.5s"), into milliseconds; unit: what its last digit counts in ms (1000 for whole
/// seconds, 100 for tenths, 1 from thousandths on; further digits are dropped).
bool parse_length(const std::string &text, uint64_t &ms, uint64_t &unit);
