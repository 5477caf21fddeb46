#pragma once

#include <stdio.h>

#include <string>

// What output_file needs from the system, one file per platform.

/// The characters that end a folder in a path.
extern const char path_separators[];

/// The signals that end a run, after the temporary file is removed; count of them.
extern const int ending_signals[];
extern const int ending_signal_count;

/// Makes the file the playlist is written to, beside target (temporary holds its name
/// pattern, ending in "XXXXXX"), with target's permissions or a new file's: unnamed where
/// the file system can, else with a name of its own put into temporary. A descriptor open
/// for writing, or -1 with errno set.
int made_file(const std::string &target, std::string &temporary);

/// Gives the file a name beside target, in temporary, if it has none yet.
int named(FILE *stream, std::string &temporary);

int flushed_to_disk(FILE *stream);
int replaced(const char *from, const char *to);
void remove_file(const char *path);
void close_descriptor(int fd);

/// Names the file the signal handler removes (null: none); made_file and named call it.
void remove_on_signal(const char *path);
