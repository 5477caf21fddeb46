#pragma once

#include <stdint.h>
#include <stdio.h>

#include <vector>

#include "lodrix-playlist/write/locations.h"

// M3U8 playlists: UTF-8 without a byte-order mark, "#EXTM3U", then per track its #EXTINF
// line, the lines VLC 3 reads for a part of a file and a cover, and its location, one a line.

/// One entry of an M3U8 list.
struct M3u8Track {
    const Location *location;
    const char *title = "", *artist = ""; ///< tags, any bytes; "" for none
    const char *file_name = "";           ///< shown where there is no title
    int64_t duration_ms = 0;              ///< 0: unknown
    int64_t start_ms = 0, stop_ms = 0;    ///< where VLC starts and stops, where above 0
    const Location *cover = nullptr;
};

/// Writes an M3U8 list to a stream through a 64 KiB block of its own, written only when full
/// and by finish; nothing more once a write failed.
class M3u8Writer {
  public:
    explicit M3u8Writer(FILE *stream);

    /// Writes "#EXTM3U" before the first track, then the track: "#EXTINF:SECONDS,ARTIST -
    /// TITLE" (the title alone without an artist, the file's name without a title; -1 seconds
    /// for an unknown length; line ends in a tag as blanks), "#EXTVLCOPT:start-time=S" and
    /// "stop-time=S", "#EXTALBUMARTURL:" with the cover as a URL, and the location: a plain
    /// path with "/", "./" before a relative one that would read otherwise (a first part with
    /// a ":", a "#" or a blank first). False, with nothing written, where the location holds a
    /// line end or, as a path, is no UTF-8: M3U cannot carry it.
    bool write(const M3u8Track &track);

    /// Writes "#EXTM3U" where no track has: a list without tracks.
    void head();

    /// Writes what the block holds and flushes the stream; 0 when everything reached it, else
    /// the errno of the first failed write (-1 where the C library gave none).
    int finish();

    bool failed() const { return error != 0; }

  private:
    void put(const char *text, size_t length);
    void put_text(const char *text);
    void put_location(const Location &location, const std::string &text);
    void put_url(const Location &location);
    void put_shown(const char *tag);

    FILE *stream;
    std::vector<char> block;
    size_t used = 0;
    bool started = false;
    int error = 0;
};
