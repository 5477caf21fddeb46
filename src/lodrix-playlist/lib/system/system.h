#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <system_error>

// What lodrix-playlist needs of the system, one file per platform (system-posix.cpp,
// system-win32.cpp): a listed file opened without blocking (opening a FIFO would wait for a
// writer), only a regular file, read at a position of its own (no shared offset); a file's
// identity; absolute paths as the system takes them; the clocks; a random seed.

/// A regular file as the system tells it apart: its device and inode (on Windows the volume
/// serial and file index), its size, its modification and change times in ns since 1970.
/// Anything that changes a file's content changes one of these.
struct FileIdentity {
    uint64_t device = 0, inode = 0;
    int64_t size = 0, modified_ns = 0, changed_ns = 0;
};

/// The identity of the file path names (links followed), without opening it for reading;
/// false where it cannot be had or is no regular file.
bool identify_path(const std::string &path, FileIdentity &identity);

/// Opens path to read. -1 with errno set when it cannot be opened; size -1 when it is no
/// regular file (the descriptor is open all the same: close it). identity is the file's as
/// it was opened: a reading kept under it is found only while nothing changed since.
int open_media_file(const std::string &path, int64_t &size, FileIdentity &identity);

/// Reads up to size bytes at position at into into; the count, 0 at the end, -1 with errno.
int64_t read_media_file(int fd, void *into, size_t size, int64_t at);

void close_media_file(int fd);

/// folder/name; a root ("/", "C:/") ends in its separator already.
std::string joined_path(const std::string &folder, const std::string &name);

/// The path as an absolute path that names what the system opens for it: "." and empty
/// components dropped, a relative path taken from base; ".." as the system takes it: on
/// POSIX from the folder a path really leads to (a shell's cd -L strikes the component
/// before it instead), on Windows by the letters of the path. False, with error set, when
/// the part up to the last ".." cannot be resolved.
bool absolute_path(const std::string &path, const std::string &base, std::string &absolute, std::error_code &error);

/// The characters that end a folder's name in a path: "/", on Windows the backslash too.
extern const char folder_separators[];

/// Whether the system tells names apart by case: on POSIX it does, on Windows it does not.
extern const bool names_have_case;

/// Now, in ns since 1970, by the clock that file times come from.
int64_t wall_clock_ns();

/// Milliseconds of a clock that only goes forward.
int64_t monotonic_ms();

/// 64 bits from the system's random source, for a shuffle without --seed.
uint64_t random_seed();

/// A signal's name ("SIGSEGV"), or its number where the system has no name for it.
std::string signal_name(int signal_number);

/// The errno value nearest to a Windows error code (GetLastError); EIO for one without.
int errno_of_windows_error(unsigned long error);
