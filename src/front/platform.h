#pragma once

// What the front end needs from the platform, in UTF-8 everywhere: Windows hands over UTF-16
// (or ANSI bytes, which would make the UTF-8 the playlist declares a lie).

/// The value of the environment variable name, or null when it is unset.
const char *environment_variable(const char *name);

/// The working directory, or "" when it cannot be read.
const char *working_directory(void);

#ifdef _WIN32
/// The arguments wmain received, converted to UTF-8.
char **utf8_arguments(int argc, wchar_t **argv);
#endif
