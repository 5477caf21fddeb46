#pragma once

// What the front end needs from the platform, in UTF-8 everywhere: Windows hands over UTF-16
// (or ANSI bytes, which would make the UTF-8 the playlist declares a lie).

/// The folder "-p" puts before the name, as a file URI's path: $PWD when it is an absolute
/// path without "." or ".." components that names the working directory (as pwd -L takes
/// it), else the working directory, else "". A stale $PWD is never written.
/// On Windows in the form windows_directory_as_uri_path gives.
const char *current_directory(void);

/// A Windows folder as the path of a file URI, the part after "file://", in the form VLC on
/// Windows opens: "C:\Musik" gives "/C:/Musik", "\\server\share\dir" gives "server/share/dir",
/// any other text is copied. into has room for the text and one byte more.
void windows_directory_as_uri_path(const char *directory, char *into);

#ifdef _WIN32
/// The arguments wmain received, converted to UTF-8.
char **utf8_arguments(int argc, wchar_t **argv);
#endif
