#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// The vocabulary the stages and libraries share: what reading one file told (Reading), with
// its tags, chapters and cue sheet, the limits every reading keeps, and the errors a reading
// can end in. reading_bytes.h turns a Reading into checked bytes and back.

/// The tags a player shows and a query asks for, as the file holds them, in UTF-8 where the
/// reader could decode them (else any bytes); empty or 0 where it has none.
struct Tags {
    std::string title, artist, album_artist, album, genre, composer;
    uint32_t track = 0, disc = 0, year = 0;
};

/// A part of a file its chapters mark.
struct Chapter {
    int64_t start_ms; ///< it ends where the next begins, the last at the file's end
    std::string title;
};

/// A cue sheet's track: a part of one file, from its INDEX 01 on. Its tags are the track's
/// own (TITLE, PERFORMER, SONGWRITER, REM GENRE, REM DATE, and its number).
struct CueTrack {
    int64_t start_ms;
    Tags tags;
};

/// A cue sheet's FILE: the name as the sheet writes it (decoded as its texts are), the bytes
/// the sheet holds for it where they differ, and its audio tracks in order.
struct CueFile {
    std::string name;
    std::string raw_name; ///< "" where the sheet's bytes are the name's
    std::vector<CueTrack> tracks;
};

/// A cue sheet: its own tags (TITLE as album, PERFORMER as artist, SONGWRITER as composer,
/// REM GENRE, REM DATE, REM DISCNUMBER) and its files; no files where there is none.
struct CueSheet {
    Tags tags;
    std::vector<CueFile> files;
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
    std::vector<Chapter> chapters = {}; ///< in order of start
    CueSheet sheet = {}; ///< a .cue file's, or the one a media file holds
};

/// Reading error: the file took longer than longest_read_ms to read.
const int too_slow = -1;
/// Reading error: no reader took the request.
const int reader_lost = -2;
/// Reading error: the reader ended with an exit status before it answered.
const int reader_exited = -3;
/// Reading error: a cue sheet with a UTF-16 byte-order mark is no UTF-16.
const int not_utf16 = -4;
/// Reading error: a cue sheet that is not UTF-8 is not in the encoding --encoding names either.
const int not_in_encoding = -5;
/// Reading error: the reader lacked the converters the file's text needs (it is read again
/// by one that has them).
const int needs_converters = -6;
/// Reading error: the process that read the file ended by this signal before it answered.
inline int reader_ended_by(int signal_number) { return -1000 - signal_number; }

/// How long a reader may take for one file: a file that takes longer must not hold up the
/// whole playlist (a stalled network mount, or an index that takes minutes to build).
const int64_t longest_read_ms = 10 * 1000;

/// The longest text a reading keeps: the playlist writes at most 4,096 bytes of a tag, and
/// each byte of a tag is at least one byte written.
const size_t most_tag_bytes = 4096;

/// How many of the length bytes at text a reading keeps: all, or most_tag_bytes cut before
/// the continuation bytes of a UTF-8 character they would split (at most three: text in
/// another encoding may have many bytes that look like them).
size_t kept_tag_length(const char *text, size_t length);

/// The most bytes one reading takes: a message between a reader and the program must fit a
/// local socket's buffer (208 KiB by default). A file whose chapters would make its reading
/// longer is read without them; a longer sheet is an error (EFBIG).
const size_t largest_reading = 160 * 1024;

/// Most chapters, and most files and tracks of a cue sheet (a CD holds at most 99 tracks).
const size_t most_chapters = 4096;
const size_t most_cue_tracks = 99;

/// The longest time a reading holds (a duration, a start): a year, in ms.
const int64_t longest_ms = 366ll * 24 * 3600 * 1000;

/// Raised whenever what a reader reports, or how its bytes are laid out, changes: a reading
/// kept by another version is read again.
const uint32_t reading_version = 3;
