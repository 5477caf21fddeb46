#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "lodrix-playlist/options/options.h"
#include "lodrix-playlist/read/file_contents.h"
#include "lodrix-playlist/read/reader_pool.h"
#include "lodrix-playlist/walk/media_files.h"
#include "select.h"

/// One entry of a playlist: a listed file, or a part of one that a player plays from its own
/// start to its own end.
struct Track {
    size_t file;          ///< index into MediaFiles::files
    int64_t start_ms = 0; ///< where it starts in the file
    int64_t end_ms = 0;   ///< where it ends: the file's duration for a whole file
    int64_t file_ms = 0;  ///< the file's duration
    Tags tags;            ///< what the entry shows
};

/// What becomes of the files' readings on their way to a playlist: taken from the readers in
/// the walk's order, each file made into its tracks, and those ordered and selected as the
/// options ask.
/// A file that is no regular file any more is left out, one that cannot be read is a track
/// of duration 0; each with one message.
class Tracks {
  public:
    /// by_folder: each batch is one folder's tracks (the folder's files must follow each
    /// other in files, as the walk's files_first gives them).
    Tracks(const MediaFiles &files, ReaderPool &readings, const Options &options, const Selection &selection,
           bool by_folder);

    /// The next tracks, in the order they are written: one folder's with by_folder or an
    /// order within each folder, the whole list for a sort or a shuffle (one folder's with
    /// by_folder), else as they come; those selection keeps. False once every file was taken,
    /// or a limit keeps no more.
    bool next(std::vector<Track> &tracks);

  private:
    const MediaFiles &files;
    ReaderPool &readings;
    Order order;
    bool by_folder;
    Selector selector;
    size_t next_file = 0;
};
