#pragma once

#include <stddef.h>

#include <string>

// What output_file needs from the system, one file per platform.

/// The characters that end a folder in a path.
extern const char path_separators[];

/// The signals that end a run, after any temporary name is removed; count of them.
extern const int ending_signals[];
extern const int ending_signal_count;

/// Makes the file a playlist is written to, beside target (temporary holds its name pattern,
/// ending in "XXXXXX"), with target's permissions or a new file's: unnamed where the file
/// system can (unnamed set), else with a name of its own put into temporary and passed to
/// remove_on_signal. A descriptor open for writing, or -1 with errno set.
int made_file(const std::string &target, std::string &temporary, bool &unnamed);

/// Gives the unnamed file fd a name beside its target, in temporary (passed to
/// remove_on_signal), and clears unnamed; nothing when it has one.
int named(int fd, std::string &temporary, bool &unnamed);

/// Flushes the count files fds to the disk, with the fewest flushes the system allows;
/// errors[i] gets fds[i]'s errno, 0 where it is on the disk.
void flush_to_disk(const int *fds, int *errors, size_t count);

int replaced(const char *from, const char *to);
void remove_file(const char *path);
void close_descriptor(int fd);

/// Adds path to the names the signal handler removes; forget_on_signal takes it off again.
/// The text must stay where it is until then.
void remove_on_signal(const char *path);
void forget_on_signal(const char *path);
