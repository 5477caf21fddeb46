#include "platform.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

// The output only counts once it has reached the file: a full disk, a closed stdout or a
// broken pipe must end in status 2, never in a short playlist and status 0.
int close_output(FILE *stream, const char *program, int write_error) {
    errno = 0;
    if (fclose(stream) != 0 && write_error == 0)
        write_error = errno != 0 ? errno : -1;
    return write_error_status(program, write_error);
}

int write_error_status(const char *program, int error) {
    if (error == 0)
        return 0;
    if (error > 0)
        fprintf(stderr, "%s: Fehler beim Schreiben der Ausgabe: %s\n", program, strerror(error));
    else
        fprintf(stderr, "%s: Fehler beim Schreiben der Ausgabe\n", program);
    return 2;
}

int no_current_directory(const char *program) {
    fprintf(stderr, "%s: aktuelles Verzeichnis nicht bestimmbar: %s\n", program, strerror(errno));
    return 3;
}

static bool has_drive_letter(const char *path) {
    return (path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z' && path[1] == ':';
}

#ifdef _WIN32
static bool is_separator(char c) { return c == '\\' || c == '/'; }
static bool is_absolute(const char *path) {
    return has_drive_letter(path) ? is_separator(path[2]) : is_separator(path[0]) && is_separator(path[1]);
}
#else
static bool is_separator(char c) { return c == '/'; }
static bool is_absolute(const char *path) { return path[0] == '/'; }
#endif

// As pwd -L takes $PWD: absolute, and no "." or ".." component that would make it name
// another folder than the one it spells.
static bool is_plain_absolute_path(const char *path) {
    if (!is_absolute(path))
        return false;
    for (const char *component = path; *component != '\0';) {
        size_t length = 0;
        while (component[length] != '\0' && !is_separator(component[length]))
            ++length;
        if ((length == 1 && component[0] == '.') || (length == 2 && component[0] == '.' && component[1] == '.'))
            return false;
        component += length;
        if (*component != '\0')
            ++component;
    }
    return true;
}

void windows_directory_as_uri_path(const char *directory, char *into) {
    const char *from = directory;
    bool drive = has_drive_letter(directory);
    bool share = (directory[0] == '\\' || directory[0] == '/') && (directory[1] == '\\' || directory[1] == '/');
    if (drive)
        *into++ = '/';
    else if (share)
        from += 2;
    for (; *from != '\0'; ++from)
        *into++ = (drive || share) && *from == '\\' ? '/' : *from;
    *into = '\0';
}

#ifndef _WIN32

#include <sys/stat.h>
#include <unistd.h>

static bool names_working_directory(const char *path) {
    struct stat named, working;
    return stat(path, &named) == 0 && stat(".", &working) == 0 && named.st_dev == working.st_dev &&
           named.st_ino == working.st_ino;
}

const char *current_directory(void) { return working_directory(); }

void folder_as_uri_path(const char *folder, char *into) { strcpy(into, folder); }

const char *working_directory(void) {
    const char *pwd = getenv("PWD");
    if (pwd != nullptr && is_plain_absolute_path(pwd) && names_working_directory(pwd))
        return pwd;
    static char directory[4096];
    if (getcwd(directory, sizeof directory) != nullptr)
        return directory;
    // The buffer is the limit, not the number: say what it means.
    if (errno == ERANGE)
        errno = ENAMETOOLONG;
    return nullptr;
}

#else

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

#endif
