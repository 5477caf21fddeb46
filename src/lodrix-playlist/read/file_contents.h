#pragma once

#include <stdint.h>

#include <string>
#include <vector>

/// The tags a player shows and a query asks for, as the file holds them (any bytes; empty
/// or 0 where it has none).
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

/// A cue sheet's FILE: the name as the sheet writes it, and its audio tracks in order.
struct CueFile {
    std::string name;
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

/// Reading error: the file took longer than the deadline to read.
const int too_slow = -1;
/// Reading error: the process that read the file ended by this signal before it answered.
inline int reader_ended_by(int signal_number) { return -1000 - signal_number; }

/// Reads files' contents with buffers of its own, made at its first file and kept for the next
/// ones: a reader (a process, or on Windows a thread) holds one for its life. Not in a
/// thread's own storage: MinGW-w64 frees that before it runs the destructors of what it holds.
class FileContentsReader {
  public:
    FileContentsReader();
    ~FileContentsReader();
    FileContentsReader(const FileContentsReader &) = delete;
    FileContentsReader &operator=(const FileContentsReader &) = delete;

    /// What the open regular file fd holds, below.
    Reading read(int fd, int64_t size, const std::string &extension);

  private:
    struct Head *head = nullptr;
};

/// Reads what the open regular file fd of size bytes holds: its playing time in
/// milliseconds, rounded, as ffprobe reports it; its tags, each at the file's level, else on
/// its first audio stream, keys in any case (a track or disc number is the digits its tag
/// begins with, "3/12" is 3; the year the four digits its date begins with); its chapters;
/// the cue sheet it holds, in a CUESHEET tag or (FLAC) a CUESHEET block, as one CueFile
/// named "" (the chapters are then left out: the sheet splits the file). A text is cut at
/// most_tag_bytes, before a UTF-8 character it would split. extension (lower case) picks the
/// demuxer to try first; "cue" reads the file as a cue sheet alone, duration 0, an error
/// (EFBIG) past most_sheet_bytes. The reading fits largest_reading.
/// Reads that file only, nothing it names; the duration comes from the headers where they
/// hold it, from a probe of the streams where not; gives up after 10 s. (FileContentsReader::read.)

/// The longest text a reading keeps: the playlist writes at most 4,096 bytes of a tag, and
/// each byte of a tag is at least one byte written.
const size_t most_tag_bytes = 4096;

/// How many of the length bytes at text a reading keeps: all, or most_tag_bytes cut before
/// the continuation bytes of a UTF-8 character they would split (at most three: text in
/// another encoding may have many bytes that look like them).
size_t kept_tag_length(const char *text, size_t length);
