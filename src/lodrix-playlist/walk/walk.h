#pragma once

#include <string>
#include <vector>

#include "lodrix-playlist/lib/reading/media_files.h"

// The first stage: the operands become the list of files to read (MediaFiles), in playlist
// order, each folder's cover found on the way.

/// Where the walk looks and in what order it lists.
struct WalkSettings {
    /// The operands, those of -T lists after the others; "." where none is given at all.
    std::vector<std::string> operands;
    /// Each folder's files before its subfolders, so that they follow each other (for an
    /// order of their own, and for -e).
    bool files_first = false;
    /// Each file's modification time, into MediaFiles::modified (a query or sort asks for it).
    bool times = false;
};

/// Appends the media files the operands name, in playlist order: for a folder, its media
/// files by extension and its cue sheets, recursively, each folder's entries in natural order
/// (its sheets first, and in a folder with a sheet its files before its subfolders, so that a
/// folder's files follow its sheets), hidden entries and linked folders left out; a regular
/// file named directly, whatever its name; a cue sheet named directly, and the media files of
/// its folder as if_claimed. A relative
/// operand is taken from the folder base (the -p directory rule's, so a linked path stays as
/// the shell shows it), and ".." in an operand as the system takes it: from the folder it
/// really names. Reports on standard error, one line each, an operand that does not exist or
/// cannot be read, one that is neither folder nor regular file (left out), and a folder that
/// cannot be read (the rest goes on). False when an operand does not exist or cannot be read.
/// With files_first, each folder's files come before its subfolders (for an order of their own).
/// A folder's cover is found in the listings the walk reads: the first of "cover", "folder",
/// "front", "albumart" and "album" with ".jpg", ".jpeg" or ".png", in any case.
/// With times, each file's modification time is taken too (one stat each).
bool collect_media_files(const std::vector<std::string> &operands, const std::string &base, MediaFiles &files,
                         bool files_first = false, bool times = false);

/// The rank of a cover file's name (0 the best), or -1 for a name that is none.
int cover_rank(const std::string &name);

