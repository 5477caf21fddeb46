#include "platform.h"

#include <stdlib.h>

#ifndef _WIN32

#include <unistd.h>

const char *environment_variable(const char *name) { return getenv(name); }

const char *working_directory(void) {
    static char directory[4096];
    return getcwd(directory, sizeof directory) ? directory : "";
}

#else

#include <stdio.h>
#include <wchar.h>
#include <windows.h>

// Expand wildcards in the arguments, as the start-up code of the platform's own tools does.
extern "C" {
int _dowildcard = -1;
}

// Windows limits an environment value and a path to 32767 UTF-16 units, 3 UTF-8 bytes each.
static const int longest_text = 32767;

static const char *to_utf8(const wchar_t *text, char *into, int room) {
    return WideCharToMultiByte(CP_UTF8, 0, text, -1, into, room, nullptr, nullptr) > 0 ? into : "";
}

const char *environment_variable(const char *name) {
    wchar_t wide_name[64];
    size_t i = 0;
    for (; name[i] != '\0' && i + 1 < sizeof wide_name / sizeof *wide_name; ++i)
        wide_name[i] = (unsigned char)name[i];
    wide_name[i] = L'\0';
    const wchar_t *value = _wgetenv(wide_name);
    static char utf8_value[3 * longest_text + 1];
    return value != nullptr ? to_utf8(value, utf8_value, sizeof utf8_value) : nullptr;
}

const char *working_directory(void) {
    static wchar_t directory[longest_text + 1];
    static char utf8_directory[3 * longest_text + 1];
    if (_wgetcwd(directory, longest_text + 1) == nullptr)
        return "";
    return to_utf8(directory, utf8_directory, sizeof utf8_directory);
}

// Wildcard expansion makes the arguments' size unbounded, so this is the one allocation.
char **utf8_arguments(int argc, wchar_t **argv) {
    size_t bytes = (argc + 1) * sizeof(char *);
    for (int i = 0; i < argc; ++i)
        bytes += WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    char **arguments = (char **)malloc(bytes);
    if (arguments == nullptr) {
        fputs("Lodrix: zu wenig Speicher fuer die Argumente\n", stderr);
        exit(2);
    }
    char *text = (char *)(arguments + argc + 1);
    char *end = (char *)arguments + bytes;
    for (int i = 0; i < argc; ++i) {
        arguments[i] = text;
        text += WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text, int(end - text), nullptr, nullptr);
    }
    arguments[argc] = nullptr;
    return arguments;
}

#endif
