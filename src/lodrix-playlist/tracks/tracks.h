#pragma once

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <string>
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
/// the walk's order, each file made into its tracks, and those ordered and selected as the options ask.
/// A file is one track, or one per track of the cue sheet that claims it (a sheet of its
/// folder, else one it holds itself), or with --chapters one per chapter where it has two or
/// more; a part plays from its start to where the next begins, the last to the file's end.
/// A file that is no regular file any more is left out, one that cannot be read is a track
/// of duration 0; each with one message, as a sheet's FILE that names no file of its folder,
/// a second sheet for a file, and a part that starts at or past its file's end.
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
    /// A sheet's tracks of one media file, until that file's reading comes.
    struct Claim {
        size_t sheet;
        Tags sheet_tags;
        std::vector<CueTrack> tracks;
    };
    void take(size_t file, Reading &&reading, std::vector<Track> &tracks);
    void claim(size_t sheet, CueSheet &&read);
    size_t named_file(size_t sheet, const std::string &name) const;
    void add_parts(size_t file, const std::vector<CueTrack> &parts, const Tags &sheet_tags, const Reading &reading,
                   std::vector<Track> &tracks) const;

    const MediaFiles &files;
    ReaderPool &readings;
    Order order;
    bool by_folder, chapters;
    Selector selector;
    size_t next_file = 0;
    std::map<size_t, Claim> claims;        ///< by the index of the media file
    std::map<std::string, size_t> claimed; ///< the paths of the claimed files, to the sheet
};
