#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "lodrix-playlist/lib/reading/media_files.h"
#include "lodrix-playlist/tracks/tracks.h"

// The last stage: batches of tracks become playlist text through src/xspf: one playlist on
// standard output or in -o's file, or with -e one in each folder (Playlists). Calling
// sequence: open, then write for each batch until it returns false or the batches end, then
// finish, which gives the run's status for what was written.

/// Where the playlists go and what they are called.
struct WriteSettings {
    const char *output = nullptr;    ///< -o: the one playlist file; null: standard output
    bool each_folder = false;        ///< -e: a playlist in every folder with media files
    const char *each_name = nullptr; ///< -e's NAME; null: after the folder
    const char *title = nullptr;     ///< the one playlist's own title
};

/// The playlist's title where --title gives none.
extern const char default_title[];

class Playlists {
  public:
    Playlists(const MediaFiles &files, const WriteSettings &settings);

    /// Makes the output ready: -o's file, a relative path taken from base, is started (it
    /// takes its path's place only at finish). 0, or the status to end with (2, after one
    /// message).
    int open(const std::string &base);

    /// Writes a batch: into the one playlist, its head before the first track, positions 1,
    /// 2, ...; with -e, one folder's tracks as that folder's list. A track's location (and
    /// cover) relative to its playlist's folder where it is inside it. False once no more can
    /// be written (the list is full, or writing failed).
    bool write(const std::vector<Track> &tracks);

    /// Ends what was written: the one playlist's tail, its file put in place; -e's lists put
    /// in place. 0 once all is written; 1 when there was no track (nothing written; an -o file
    /// stays as it was); 2 when writing failed (one message each; an -o file stays as it was,
    /// and of -e's lists only those that failed).
    int finish();

  private:
    bool write_folder(const std::vector<Track> &tracks);

    const MediaFiles &files;
    WriteSettings settings;
    FILE *stream = stdout;
    bool to_file = false;
    std::string folder; ///< -o's file's folder, absolute; "" for standard output
    int32_t written = 0;
    bool any = false, failed = false; ///< -e: a list was made, and one failed
};
