#pragma once

// Messages to the user: every line on standard error begins with the program's name, written
// here once; a message that makes the run fail (an operand missing or unreadable, a list that
// cannot be read) is remembered, so that the run ends with status 1 after all that it could do.
// The texts themselves stand at the top of the file of the stage that writes them.

/// "lodrix-playlist": the name every message begins with.
extern const char program_name[];

/// Writes "lodrix-playlist: ", format with its values and a line end to standard error.
void report(const char *format, ...) __attribute__((format(printf, 1, 2)));

/// The same, for what makes the run's status 1 however the rest goes.
void report_error(const char *format, ...) __attribute__((format(printf, 1, 2)));

/// True once report_error was called.
bool errors_reported();
