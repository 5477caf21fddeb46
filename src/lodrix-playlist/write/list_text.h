#pragma once

#include <stdint.h>
#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

#include "lodrix-playlist/lib/reading/media_files.h"
#include "lodrix-playlist/tracks/tracks.h"
#include "lodrix-playlist/write/locations.h"
#include "lodrix-playlist/write/m3u8.h"

// One playlist's text as it is written (ListText): its tracks as XSPF (through src/xspf's
// block, one list at a time) or M3U8, their locations formed by the list's rules.

/// A playlist's format.
enum class Format {
    by_name, ///< M3U8 for a file named .m3u8 or .m3u (in any case), else XSPF
    xspf,
    m3u8,
};

/// The format a list named name is written in: format, or by_name's choice.
Format format_for(Format format, const std::string &name);

class ListText {
  public:
    /// Starts a list on stream. folder: the list's own, absolute, which relative locations are
    /// taken from; null for none.
    ListText(Format format, FILE *stream, const MediaFiles &files, const std::string *folder,
             const LocationRules &rules, const char *title);

    /// Writes tracks after those written (XSPF's head before the first, positions 1, 2, ...).
    /// A track whose location M3U cannot carry is left out with one message (which makes the
    /// run's status 1). False once no more can be written: the list is full (2^31-1 tracks)
    /// or a write failed.
    bool write(const std::vector<Track> &tracks);

    /// Ends the list (for XSPF its tail; with even_empty, the head and tail of a list without
    /// tracks too) and flushes it: 0 once all reached the stream, else the errno of the first
    /// failure (-1 where none is known).
    int finish(bool even_empty);

    int32_t written = 0; ///< tracks written

  private:
    void write_xspf(const Track &track);
    bool write_m3u8(const Track &track);

    Format format;
    const MediaFiles &files;
    const std::string *folder;
    const LocationRules &rules;
    const char *title;
    std::unique_ptr<M3u8Writer> m3u8;
    Location location, cover; ///< kept, so that their text is not made anew for each track
};
