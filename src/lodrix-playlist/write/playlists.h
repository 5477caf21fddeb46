#pragma once

#include <stdint.h>
#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

#include "lodrix-playlist/lib/reading/media_files.h"
#include "lodrix-playlist/tracks/tracks.h"
#include "lodrix-playlist/write/list_text.h"
#include "lodrix-playlist/write/locations.h"

// The last stage: batches of tracks become playlist text, XSPF through src/xspf or M3U8
// (ListText): one playlist on standard output or in -o's file, or with -e one in each
// folder, or one of --lists' (Playlists). Calling sequence: open, then write for each batch
// until it returns false or the batches end, then finish, which gives the run's status for
// what was written; after the last of --lists' lists, put_kept_lists_in_place.

/// Where the playlists go, what they are called, and how they are written.
struct WriteSettings {
    const char *output = nullptr;    ///< -o or a --lists line: the playlist file; null: standard output
    bool each_folder = false;        ///< -e: a playlist in every folder with media files
    const char *each_name = nullptr; ///< -e's NAME; null: after the folder
    const char *title = nullptr;     ///< the one playlist's own title
    Format format = Format::by_name; ///< --format
    LocationRules locations;         ///< --paths, --prefix
    /// One list of --lists: its name may hold {FIELD}s; it is written whole once the batches
    /// end, and put in place with the others.
    bool one_of_many = false;
};

/// The playlist's title where --title gives none.
extern const char default_title[];

class Playlists {
  public:
    Playlists(const MediaFiles &files, const WriteSettings &settings);

    /// Makes the output ready: -o's file, a relative path taken from base, is started (it
    /// takes its path's place only at finish); a list of --lists is only named; prefixes'
    /// FROM and, with --paths=relative, standard output's folder are taken from base. 0, or
    /// the status to end with (2, after one message).
    int open(const std::string &base);

    /// Writes a batch: into the one playlist, its head before the first track, positions 1,
    /// 2, ...; with -e, one folder's tracks as that folder's list; a list of --lists keeps
    /// them until finish. A track's location (and cover) as the list's rules form it. False
    /// once no more can be written (the list is full, or writing failed).
    bool write(std::vector<Track> &tracks);

    /// Ends what was written: the one playlist's tail, its file put in place; -e's lists put
    /// in place; a list of --lists written (one per value of its name's fields; without
    /// tracks, a list without tracks, or none for a name with fields) and kept. 0 once all is
    /// written; 1 when there was no track (nothing written; an -o file stays as it was); 2
    /// when writing failed (one message each; an -o file stays as it was, and of several
    /// lists only those that failed).
    int finish();

  private:
    bool write_folder(const std::vector<Track> &tracks);
    bool write_kept(const std::string &path, const std::string *list_folder, const std::vector<Track> &tracks,
                    const char *title);
    int finish_named();

    const MediaFiles &files;
    WriteSettings settings;
    Format format = Format::xspf;
    FILE *stream = stdout;
    bool to_file = false;
    std::string base;   ///< what relative paths are taken from
    std::string path;   ///< -o's file, absolute
    std::string folder; ///< its folder, or with --paths=relative standard output's; "" for none
    std::unique_ptr<ListText> text;
    std::vector<Track> kept; ///< a --lists list's tracks
    bool any = false, failed = false; ///< -e: a list was made, and one failed
};

/// Puts the lists that --lists' lists and -e kept in place: 0, or 2 when one could not be
/// (one message each).
int put_kept_lists_in_place();
