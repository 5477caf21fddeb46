#pragma once

#include <stdint.h>

#include <string>

#include "lodrix-playlist/lib/encoding/encoding.h"
#include "lodrix-playlist/lib/reading/reading.h"

// One open file's contents through libavformat: FileContentsReader hands on a Reading. The
// work is split by job: the demuxer for a file (demuxers.h), the file as libavformat reads it
// (source.h), its length, tags, chapters and sheet (metadata.h).

/// Reads files' contents with buffers of its own, made at its first file and kept for the next
/// ones: a reader (a process, or on Windows a thread) holds one for its life. Not in a
/// thread's own storage: MinGW-w64 frees that before it runs the destructors of what it holds.
class FileContentsReader {
  public:
    /// forced: the encoding of all text that is not UTF-8 (--encoding); none to detect it.
    explicit FileContentsReader(Encoding forced = Encoding::none);
    ~FileContentsReader();
    FileContentsReader(const FileContentsReader &) = delete;
    FileContentsReader &operator=(const FileContentsReader &) = delete;

    /// What the open regular file fd of size bytes holds: its playing time in
    /// milliseconds, rounded, as ffprobe reports it; its tags, each at the file's level, else on
    /// its first audio stream, keys in any case (a track or disc number is the digits its tag
    /// begins with, "3/12" is 3; the year the four digits its date begins with); its chapters;
    /// the cue sheet it holds, in a CUESHEET tag or (FLAC) a CUESHEET block, as one CueFile
    /// named "" (the chapters are then left out: the sheet splits the file). Texts that are not
    /// UTF-8, and those an ID3 tag holds in Latin-1, decoded together (decode_texts); a text
    /// is cut at most_tag_bytes, before a UTF-8 character it would split. extension (lower
    /// case) picks the demuxer to try first; "cue" reads the file as a cue sheet alone
    /// (read_cue_sheet), duration 0, an error (EFBIG) past most_sheet_bytes, or where it
    /// cannot be decoded. The reading fits largest_reading.
    /// Reads that file only, nothing it names; the duration comes from the headers where they
    /// hold it, from a probe of the streams where not; gives up after 10 s. A text that needs
    /// a converter not opened yet (open_converters) makes it an error, needs_converters.
    Reading read(int fd, int64_t size, const std::string &extension);

  private:
    Reading read_contents(int fd, int64_t size, const std::string &extension);
    struct Head *head = nullptr;
    Encoding forced;
};

/// What a reading is kept under besides its file: reading_version, libavformat's version and
/// the encoding forced (none: detected), so that a change of any reads every file again.
int64_t current_reading_version(Encoding forced);
