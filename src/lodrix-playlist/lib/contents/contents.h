#pragma once

#include <stdint.h>

#include <string>

#include "lodrix-playlist/lib/reading/reading.h"

// One open file's contents through libavformat: FileContentsReader hands on a Reading. The
// work is split by job: the demuxer for a file (demuxers.h), the file as libavformat reads it
// (source.h), its length, tags, chapters and sheet (metadata.h).

/// Reads files' contents with buffers of its own, made at its first file and kept for the next
/// ones: a reader (a process, or on Windows a thread) holds one for its life. Not in a
/// thread's own storage: MinGW-w64 frees that before it runs the destructors of what it holds.
class FileContentsReader {
  public:
    FileContentsReader();
    ~FileContentsReader();
    FileContentsReader(const FileContentsReader &) = delete;
    FileContentsReader &operator=(const FileContentsReader &) = delete;

    /// What the open regular file fd of size bytes holds: its playing time in
    /// milliseconds, rounded, as ffprobe reports it; its tags, each at the file's level, else on
    /// its first audio stream, keys in any case (a track or disc number is the digits its tag
    /// begins with, "3/12" is 3; the year the four digits its date begins with); its chapters;
    /// the cue sheet it holds, in a CUESHEET tag or (FLAC) a CUESHEET block, as one CueFile
    /// named "" (the chapters are then left out: the sheet splits the file). A text is cut at
    /// most_tag_bytes, before a UTF-8 character it would split. extension (lower case) picks the
    /// demuxer to try first; "cue" reads the file as a cue sheet alone, duration 0, an error
    /// (EFBIG) past most_sheet_bytes. The reading fits largest_reading.
    /// Reads that file only, nothing it names; the duration comes from the headers where they
    /// hold it, from a probe of the streams where not; gives up after 10 s.
    Reading read(int fd, int64_t size, const std::string &extension);

  private:
    struct Head *head = nullptr;
};

/// What a reading is kept under besides its file: reading_version and libavformat's
/// version, so that either's change reads every file again.
int64_t current_reading_version();
