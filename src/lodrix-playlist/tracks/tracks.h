#pragma once

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <string>
#include <vector>

#include "lodrix-playlist/lib/reading/media_files.h"
#include "lodrix-playlist/lib/reading/reading.h"

// The third stage: each file's Reading becomes its Tracks (a whole file, a cue sheet's parts,
// chapters), batch by batch in the walk's order, each batch in --order's order.

/// One entry of a playlist: a listed file, or a part of one that a player plays from its own
/// start to its own end.
struct Track {
    size_t file;          ///< index into MediaFiles::files
    int64_t start_ms = 0; ///< where it starts in the file
    int64_t end_ms = 0;   ///< where it ends: the file's duration for a whole file
    int64_t file_ms = 0;  ///< the file's duration
    Tags tags;            ///< what the entry shows
};

/// How a playlist's tracks are ordered within each folder.
enum class Order { name, tags };

/// What the tracks of the files are to be.
struct TrackSettings {
    Order order = Order::name;
    bool chapters = false;  ///< --chapters: a file with chapters as a track per chapter
    bool by_folder = false; ///< each batch one folder's (for --order=tags and for -e)
};

/// What becomes of the files' readings on their way to a playlist.
/// A file is one track, or one per track of the cue sheet that claims it (a sheet of its
/// folder, else one it holds itself), or with --chapters one per chapter where it has two or
/// more; a part plays from its start to where the next begins, the last to the file's end.
/// A sheet's tracks come together, in the sheet's order, where the last of its files comes.
/// A file that is no regular file any more is left out, one that cannot be read is a track
/// of duration 0; each with one message, as a sheet's FILE that names no file of its folder,
/// a second sheet for a file, and a part that starts at or past its file's end.
class Tracks {
  public:
    Tracks(const MediaFiles &files, const TrackSettings &settings);

    /// Where the batch that begins at file first ends (one past its last file): the whole
    /// list with whole_list, else one folder's files by_folder, else the one file.
    size_t batch_end(size_t first, bool whole_list) const;

    /// Appends the tracks of file, made of its reading (none for a sheet, whose tracks come
    /// with the last of the files it claims: files come in the walk's order, each sheet
    /// before them).
    void add(size_t file, Reading &&reading, std::vector<Track> &tracks);

    /// Puts a batch in --order's order: each folder's tracks by disc, track number, then name
    /// for tags; as they are for name.
    void order(std::vector<Track> &tracks) const;

  private:
    /// A sheet's tracks of one media file, until that file's reading comes.
    struct Claim {
        size_t sheet;
        size_t place; ///< the file's among the sheet's files
        Tags sheet_tags;
        std::vector<CueTrack> tracks;
    };
    /// A sheet's tracks, each file's in its place, until the last file's reading comes.
    struct Held {
        size_t waiting = 0;
        std::vector<std::vector<Track>> files;
    };
    void claim(size_t sheet, CueSheet &&read);
    void add_file(size_t file, Reading &&reading, const Claim *claim, std::vector<Track> &tracks) const;
    void add_parts(size_t file, const std::vector<CueTrack> &parts, const Tags &sheet_tags, const Reading &reading,
                   std::vector<Track> &tracks) const;

    const MediaFiles &files;
    TrackSettings settings;
    std::map<size_t, Claim> claims;        ///< by the index of the media file
    std::map<std::string, size_t> claimed; ///< the paths of the claimed files, to the sheet
    std::map<size_t, Held> held;           ///< by the index of the sheet
};
