#pragma once

#include <stdio.h>

#include <string>
#include <vector>

// Playlist files replaced whole or not at all: each list is written to a file of its own in
// the same folder, unnamed where the file system allows, which takes the old file's place only
// once it is complete and on the disk. Until then SIGINT, SIGTERM and SIGHUP remove any
// temporary name before they end the run, so an interrupted or failed run leaves each old
// playlist as it was.

/// Creates the file that is to take path's place, with the permissions path has (or a new
/// file would get). Null, with errno set, when it cannot be made.
FILE *start_output_file(const std::string &path);

/// Flushes the file start_output_file made to the disk, closes it and renames it over its
/// path; removes it instead when anything failed, write_error (finish_output's) included.
/// Returns the errno of the first failure, 0 for none.
int finish_output_file(int write_error);

/// Closes and removes the file start_output_file made, leaving its path as it was.
void discard_output_file();

/// For many lists in one run: keeps the written file (removed at once when write_error, which
/// is returned) until commit_output_files puts it in place.
int keep_output_file(int write_error);

/// How many files keep_output_file holds; commit them before this passes most_kept_files
/// (each holds a descriptor).
size_t kept_output_files();
const size_t most_kept_files = 64;

/// A file that could not be put in place, and why (an errno value).
struct OutputFailure {
    std::string path;
    int error;
};

/// Starts putting every kept file in place on a thread of its own: flushed to the disk at once
/// (one flush of each file system where the system has it), then each renamed over its path.
/// Waits for the commit before first. Returns the files of that one that failed (removed).
std::vector<OutputFailure> commit_output_files();

/// Waits for the commit under way, if any; returns its files that failed (removed).
std::vector<OutputFailure> wait_for_commits();
