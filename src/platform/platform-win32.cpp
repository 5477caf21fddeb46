#include "platform.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#include "platform_system.h"

bool is_separator(char c) { return c == '\\' || c == '/'; }
bool is_absolute(const char *path) {
    return has_drive_letter(path) ? is_separator(path[2]) : is_separator(path[0]) && is_separator(path[1]);
}

// Expand wildcards in the arguments, as the start-up code of the platform's own tools does.
extern "C" {
int _dowildcard = -1;
}

// Windows limits an environment value and a path to 32767 UTF-16 units, 3 UTF-8 bytes each.
static const int longest_text = 32767;

static const char *to_utf8(const wchar_t *text, char *into, int room) {
    return WideCharToMultiByte(CP_UTF8, 0, text, -1, into, room, nullptr, nullptr) > 0 ? into : "";
}

// A folder's identity on Windows: its volume and its file index, as device and inode on POSIX.
static bool folder_identity(const wchar_t *path, BY_HANDLE_FILE_INFORMATION *identity) {
    HANDLE folder = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    bool known = GetFileInformationByHandle(folder, identity) != 0;
    CloseHandle(folder);
    return known;
}

static bool names_working_directory(const wchar_t *path) {
    BY_HANDLE_FILE_INFORMATION named, working;
    return folder_identity(path, &named) && folder_identity(L".", &working) &&
           named.dwVolumeSerialNumber == working.dwVolumeSerialNumber &&
           named.nFileIndexHigh == working.nFileIndexHigh && named.nFileIndexLow == working.nFileIndexLow;
}

const char *working_directory(void) {
    static wchar_t wide_directory[longest_text + 1];
    static char directory[3 * longest_text + 1];
    const wchar_t *pwd = _wgetenv(L"PWD");
    const char *chosen = pwd != nullptr ? to_utf8(pwd, directory, sizeof directory) : "";
    if (pwd != nullptr && is_plain_absolute_path(chosen) && names_working_directory(pwd))
        return chosen;
    return _wgetcwd(wide_directory, longest_text + 1) != nullptr ? to_utf8(wide_directory, directory, sizeof directory)
                                                                 : nullptr;
}

const char *current_directory(void) {
    static char uri_path[3 * longest_text + 2];
    const char *chosen = working_directory();
    if (chosen == nullptr)
        return nullptr;
    windows_directory_as_uri_path(chosen, uri_path);
    return uri_path;
}

void folder_as_uri_path(const char *folder, char *into) { windows_directory_as_uri_path(folder, into); }

// Wildcard expansion makes the arguments' size unbounded, so this is the one allocation.
char **utf8_arguments(int argc, wchar_t **argv, const char *program) {
    size_t bytes = (argc + 1) * sizeof(char *);
    for (int i = 0; i < argc; ++i)
        bytes += WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    char **arguments = (char **)malloc(bytes);
    if (arguments == nullptr) {
        fprintf(stderr, "%s: zu wenig Speicher fuer die Argumente\n", program);
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
