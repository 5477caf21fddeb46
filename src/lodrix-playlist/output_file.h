#pragma once

#include <stdio.h>

#include <string>

// The playlist file "-o" names, replaced whole or not at all: the list is written to a
// temporary file in the same folder, which takes the file's place only once it is complete
// and on the disk. Until then SIGINT, SIGTERM and SIGHUP remove the temporary file before
// they end the run, so an interrupted or failed run leaves the old playlist as it was.

/// Creates the temporary file beside path, with the permissions path has (or a new file
/// would get). Null, with errno set, when it cannot be made.
FILE *start_output_file(const std::string &path);

/// Flushes the file start_output_file made to the disk, closes it and renames it over path;
/// removes it instead when anything failed, write_error (finish_output's) included. Returns
/// the errno of the first failure, 0 for none.
int finish_output_file(FILE *stream, int write_error);

/// Closes and removes the file start_output_file made, leaving path as it was.
void discard_output_file(FILE *stream);
