#pragma once

#include <stddef.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lodrix-playlist/lib/reading/media_files.h"
#include "lodrix-playlist/lib/reading/reading.h"
#include "lodrix-playlist/options/options.h"
#include "lodrix-playlist/select/select.h"
#include "lodrix-playlist/tracks/tracks.h"
#include "lodrix-playlist/write/playlists.h"

// The lists a run writes (Lists): the one the command line asks for, or each of --lists',
// all fed the same batches of the one reading. Each list puts a batch in its own order,
// selects from it (Selector) and writes it (Playlists).

class Lists {
  public:
    /// The lists settings asks for, of files. With several, the run's tracks are split by
    /// chapters only where every list wants that; see makes them for the lists that do.
    Lists(const Settings &settings, const MediaFiles &files);

    /// Opens each list's output; 0, or the status to end with.
    int open(const std::string &base);

    /// True when each batch must be the whole list: the one list's sort or shuffle. Several
    /// lists keep what they need until finish.
    bool needs_all_tracks() const;

    /// True once no list takes another track.
    bool finished() const;

    /// Sees each file's reading before the run's tracks are made of it: where lists differ in
    /// --chapters, the chapters' tracks are made for those that want them.
    void see(size_t file, const Reading &reading);

    /// Gives the batch to each list: its order, its selection, its writer. False once the one
    /// list can take no more (full, or writing failed).
    bool write(std::vector<Track> &batch);

    /// Finishes every list and puts the lists of --lists in place: the run's status for them
    /// (0, 1 when the one list had no track, 2 when writing failed).
    int finish();

  private:
    struct List {
        List(const TrackSettings &tracks, const Selection &selection, const WriteSettings &write,
             const MediaFiles &files);
        Tracks order;
        Selector selector;
        Playlists playlists;
        bool chapters;
        std::vector<Track> kept; ///< matched tracks that a sort or shuffle takes at finish
    };
    /// A file's tracks by chapters, and the tags it has whole.
    struct Parts {
        Tags tags;
        std::vector<Track> tracks;
    };
    void with_chapters(const std::vector<Track> &batch, std::vector<Track> &split) const;

    const MediaFiles &files;
    bool many;
    bool any = false; ///< a batch held a track
    std::vector<std::unique_ptr<List>> lists;
    std::unique_ptr<Tracks> chapter_tracks; ///< where lists differ in --chapters
    std::map<size_t, Parts> parts;          ///< the batch's files with chapters, by file
};
