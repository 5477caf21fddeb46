#pragma once

#include <stddef.h>
#include <stdio.h>

// Messages to the user, in the user's language: English as written in the code, German where
// the locale's language is German (po/de.po). Every line on standard error begins with the
// program's name, written here once; a message that makes the run fail (an operand missing or
// unreadable, a list that cannot be read) is remembered, so that the run ends with status 1
// after all that it could do. The texts stand at the top of the file that writes them, each
// marked N_ for the translators' catalog; report translates it where it is written.

/// "lodrix-playlist": the name every message begins with.
extern const char program_name[];

/// Marks a text for the catalog where it is defined; it is translated where it is used.
#define N_(text) text

/// Picks the language from the locale (LANGUAGE, LC_ALL, LC_MESSAGES, LANG; on Windows also
/// the user's language of the system). Call it first.
void start_messages();

/// The text in the user's language; the text itself where the catalog has no other.
const char *translated(const char *text);

/// Writes "lodrix-playlist: ", format (translated) with its values and a line end to standard
/// error.
void report(const char *format, ...) __attribute__((format(printf, 1, 2)));

/// The same, for what makes the run's status 1 however the rest goes.
void report_error(const char *format, ...) __attribute__((format(printf, 1, 2)));

/// True once report_error was called.
bool errors_reported();

/// The status for a failed write of the output: 0 when error is 0; otherwise 2, after
/// "lodrix-playlist: error writing the output: REASON" (error an errno value, or -1 for none
/// known). The one place where a write error becomes the status.
int output_error_status(int error);

/// Closes stream, which makes what was written final, and returns output_error_status for the
/// first error: write_error (0 for none), else fclose's.
int close_stream(FILE *stream, int write_error);

/// 3, the status of a run whose locations cannot be formed, after "lodrix-playlist: current
/// directory cannot be had: REASON" (errno's).
int no_directory_status();

/// Writes the UTF-8 text to stream as the user's terminal shows it: its bytes in the locale's
/// encoding (the catalog's texts come in it already), on a Windows console as wide
/// characters. False when writing failed.
bool write_text(FILE *stream, const char *text, size_t length);
