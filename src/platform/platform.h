#pragma once

#include <stdio.h>

// What both programs need from the system, in UTF-8 everywhere: Windows hands over UTF-16
// (or ANSI bytes, which would make the UTF-8 the playlist declares a lie).

/// The folder "-p" puts before the name, as a file URI's path: $PWD when it is an absolute
/// path without "." or ".." components that names the working directory (as pwd -L takes
/// it), else the working directory. A stale $PWD is never written. On Windows in the form
/// windows_directory_as_uri_path gives. Null, with errno set, when the working directory
/// cannot be had (removed, or a longer path than the C library takes).
const char *current_directory(void);

/// The same folder as a path the system opens: on Windows "C:\Musik" where current_directory
/// gives "/C:/Musik"; elsewhere the same text.
const char *working_directory(void);

/// A Windows folder as the path of a file URI, the part after "file://", in the form VLC on
/// Windows opens: "C:\Musik" gives "/C:/Musik", "\\server\share\dir" gives "server/share/dir",
/// any other text is copied. into has room for the text and one byte more.
void windows_directory_as_uri_path(const char *directory, char *into);

/// A folder as the system names it as the path of a file URI, in the form VLC opens: on
/// Windows as windows_directory_as_uri_path gives it, elsewhere the same text. into has room
/// for the text and one byte more.
void folder_as_uri_path(const char *folder, char *into);

/// Closes stream, which makes what was written final, and returns write_error_status for
/// the first error: write_error (the one finish_output gave, 0 for none), else fclose's.
int close_output(FILE *stream, const char *program, int write_error);

/// 0 when error is 0; otherwise writes "<program>: Fehler beim Schreiben der Ausgabe:
/// <reason>" to standard error and returns 2. error is an errno value, or -1 for none known.
int write_error_status(const char *program, int error);

/// Writes "<program>: aktuelles Verzeichnis nicht bestimmbar: <reason of errno>" to standard
/// error and returns 3, the status of a run whose locations cannot be formed.
int no_current_directory(const char *program);

#ifdef _WIN32
/// The arguments wmain received, converted to UTF-8; program names the caller in the one
/// message, when memory runs out.
char **utf8_arguments(int argc, wchar_t **argv, const char *program);
#endif
