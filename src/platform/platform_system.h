#pragma once

// What platform.cpp's shared rules need from each platform's file, and the rules both use.

/// True for a character that ends a folder in a path.
bool is_separator(char c);
/// True for an absolute path: "/x" on POSIX; "C:\x" or "\\server\share" on Windows.
bool is_absolute(const char *path);
/// True when the path begins with a drive letter and ":".
bool has_drive_letter(const char *path);
/// As pwd -L takes $PWD: absolute, and no "." or ".." component.
bool is_plain_absolute_path(const char *path);
