#pragma once

#include <stdint.h>

#include <string>

#include "lodrix-playlist/lib/system/system.h"

// What the reading cache needs of the system besides a file's identity and the clock its
// times are taken by (media_file.h): a place that only the user can read, and a database
// connection that no reader inherits.

/// Sets file to the cache's file where none is named: $XDG_CACHE_HOME/lodrix/readings.sqlite,
/// else ~/.cache/lodrix/readings.sqlite; on Windows %LOCALAPPDATA%\lodrix\readings.sqlite. Its
/// missing folders are made, readable by the user only. False, with errno set, where no such
/// place is known (file empty) or a folder cannot be made.
bool default_cache_file(std::string &file);

/// Makes file, where it is missing, as one only the user can read or write (it names the
/// user's files); false, with errno set, when it cannot be made.
bool make_private_file(const std::string &file);

/// The SQLite VFS to open the database with: one whose shared memory (the WAL's index) a
/// process forked later does not get, so that a reader cannot write into the database
/// behind the program. Null for SQLite's default where no reader is forked.
const char *fork_safe_vfs();

/// The system's words for an error code SQLite reports (sqlite3_system_errno); empty where
/// they are not to be had.
std::string system_error_text(int error);
