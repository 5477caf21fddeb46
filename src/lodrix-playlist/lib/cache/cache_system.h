#pragma once

#include <stdint.h>

#include <string>

#include "lodrix-playlist/lib/system/system.h"

// What the reading cache needs of the system besides a file's identity and the clock its
// times are taken by (lib/system): a place that only the user can read, what a file
// system's change times are worth, and a database connection that no reader inherits.

/// Sets file to the cache's file where none is named: $XDG_CACHE_HOME/lodrix/readings.sqlite,
/// else ~/.cache/lodrix/readings.sqlite; on Windows %LOCALAPPDATA%\lodrix\readings.sqlite. Its
/// missing folders are made, readable by the user only. False, with errno set, where no such
/// place is known (file empty) or a folder cannot be made.
bool default_cache_file(std::string &file);

/// Makes file, where it is missing, as one only the user can read or write (it names the
/// user's files); false, with errno set, when it cannot be made.
bool make_private_file(const std::string &file);

/// What the change time of a file is worth on the file system that holds it.
enum class ChangeTimes {
    real,     ///< set by the system on every change of the file (or not to be told)
    absent,   ///< none kept: FAT and exFAT give the modification or the creation time
    reported, ///< what a FUSE daemon or an SMB server reports: the modification time again, at times
};

/// What the change times of the file system that holds path are worth.
ChangeTimes change_times(const std::string &path);

/// The SQLite VFS to open the database with: one whose shared memory (the WAL's index) a
/// process forked later does not get, so that a reader cannot write into the database
/// behind the program. Null for SQLite's default where no reader is forked.
const char *fork_safe_vfs();

/// The system's words for an error code SQLite reports (sqlite3_system_errno); empty where
/// they are not to be had.
std::string system_error_text(int error);
