#pragma once

#include <stdint.h>

#include <string>

/// The tags a player shows, as the file holds them (any bytes; empty where it has none).
struct Tags {
    std::string title, creator, album;
    uint32_t track = 0, disc = 0; ///< 0 where there is none
};

/// What reading one listed file told.
struct Reading {
    enum Outcome {
        measured,    ///< opened and read; duration_ms is 0 when it cannot be told (not media)
        not_regular, ///< no regular file (any more): left out of the playlist
        unreadable,  ///< could not be opened or read: listed with duration 0, error says why
    } outcome;
    int64_t duration_ms;
    int error; ///< an errno value, too_slow, or reader_ended_by(signal)
    Tags tags = {};
};

/// Reading error: the file took longer than the deadline to read.
const int too_slow = -1;
/// Reading error: the process that read the file ended by this signal before it answered.
inline int reader_ended_by(int signal_number) { return -1000 - signal_number; }

/// Reads what the open regular file fd of size bytes holds: its playing time in
/// milliseconds, rounded, as ffprobe reports it, and its tags: each at the file's level, else on its first
/// audio stream, keys in any case; the creator is the artist, else the album's artist; a
/// track or disc number is the digits its tag begins with ("3/12" is 3); a text tag is cut at
/// most_tag_bytes, before a UTF-8 character it would split. extension (lower case) picks the
/// demuxer to try first.
/// Reads that file only, nothing it names; the duration comes from the headers where they
/// hold it, from a probe of the streams where not; gives up after 10 s.
Reading read_file_contents(int fd, int64_t size, const std::string &extension);

/// The longest text tag a reading keeps (the playlist writes at most 4,096 bytes of one).
const size_t most_tag_bytes = 16 * 1024;
