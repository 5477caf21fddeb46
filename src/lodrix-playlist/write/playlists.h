#pragma once

#include <stdio.h>

#include <string>

#include "lodrix-playlist/tracks/tracks.h"
#include "lodrix-playlist/walk/media_files.h"

/// Where the one playlist of a run goes: standard output, or -o's file, written whole or not
/// at all, with locations relative to its folder.
struct PlaylistOutput {
    FILE *stream = stdout;
    bool to_file = false;
    std::string folder; ///< -o's file's folder, absolute; "" for standard output
};

/// Makes output ready for path (null: standard output); a relative path is taken from base.
/// 0, or the status to end with (2, with one line on standard error).
int open_playlist(const char *path, const std::string &base, PlaylistOutput &output);

/// Writes every track tracks gives into one playlist titled title, the head before the first
/// and the tail after the last, positions 1, 2, ...; a track's location (and cover) relative
/// to output's folder where it is inside it. Returns 0 once it is written in full; 1 when
/// there was no track (nothing written; an -o file stays as it was); 2 when writing failed
/// (one line on standard error; an -o file stays as it was).
int write_playlist(PlaylistOutput &output, Tracks &tracks, const MediaFiles &files, const char *title);

/// Writes each folder's tracks, as tracks gives them a folder at a time, into a playlist in
/// that folder, named name or after the folder and titled with the folder's name, locations
/// relative to it; each written whole or not at all, and one that cannot be written (one
/// line on standard error) does not stop the others. Returns 0; 1 when there was no track;
/// 2 when a list could not be written.
int write_each_folder(Tracks &tracks, const MediaFiles &files, const char *name);
