#include "output_file.h"

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "platform/platform.h"

#ifndef _WIN32
#include <unistd.h>
#else
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <filesystem>
#endif

static std::string target, temporary;
// What the signal handler removes; null once there is nothing to remove.
static const char *volatile to_remove;

#ifndef _WIN32
static const char separators[] = "/";
static const int ending_signals[] = {SIGINT, SIGTERM, SIGHUP};

static void remove_file(const char *path) { unlink(path); }

// The new file gets the permissions of the one it replaces, or of a new file.
static int made_file(const std::string &path) {
    mode_t mask = umask(0);
    umask(mask);
    struct stat old;
    mode_t mode = stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : 0666 & ~mask;
    // No signal between making the file and knowing its name.
    sigset_t ending, before;
    sigemptyset(&ending);
    for (int signal_number : ending_signals)
        sigaddset(&ending, signal_number);
    sigprocmask(SIG_BLOCK, &ending, &before);
    int fd = mkstemp(&temporary[0]);
    if (fd >= 0)
        to_remove = temporary.c_str();
    sigprocmask(SIG_SETMASK, &before, nullptr);
    if (fd >= 0 && fchmod(fd, mode) != 0) {
        int error = errno;
        close(fd);
        unlink(temporary.c_str());
        to_remove = nullptr;
        errno = error;
        return -1;
    }
    return fd;
}

static int flushed_to_disk(FILE *stream) { return fsync(fileno(stream)); }

static int replaced(const char *from, const char *to) { return rename(from, to); }
#else
static const char separators[] = "/\\";
static const int ending_signals[] = {SIGINT, SIGTERM, SIGBREAK};

// Windows calls a signal handler on a thread of its own, so the handler may allocate.
static std::wstring wide(const char *text) { return std::filesystem::u8path(text).wstring(); }

static void remove_file(const char *path) { DeleteFileW(wide(path).c_str()); }

static int errno_of(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

// A name of its own, made like mkstemp's; shared for deletion, so that a signal can remove it
// while it is open.
static int made_file(const std::string &) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string pattern = temporary;
    for (unsigned attempt = GetCurrentProcessId() ^ GetTickCount();; attempt = attempt * 1103515245 + 12345) {
        temporary = pattern;
        unsigned bits = attempt;
        for (size_t i = temporary.size() - 6; i < temporary.size(); ++i, bits /= 36)
            temporary[i] = letters[bits % 36];
        HANDLE file = CreateFileW(wide(temporary.c_str()).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            to_remove = temporary.c_str();
            return _open_osfhandle(intptr_t(file), _O_WRONLY | _O_TEXT);
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            errno = errno_of(GetLastError());
            return -1;
        }
    }
}

static int flushed_to_disk(FILE *stream) {
    return FlushFileBuffers(HANDLE(_get_osfhandle(_fileno(stream)))) ? 0 : (errno = errno_of(GetLastError()), -1);
}

static int replaced(const char *from, const char *to) {
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    errno = errno_of(GetLastError());
    return -1;
}
#endif

static void remove_and_end(int signal_number) {
    if (to_remove != nullptr)
        remove_file(to_remove);
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

FILE *start_output_file(const std::string &path) {
    target = path;
    size_t slash = path.find_last_of(separators);
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    temporary = folder + "." + path.substr(slash + 1) + ".XXXXXX";
    for (int signal_number : ending_signals)
        signal(signal_number, remove_and_end);
    int fd = made_file(path);
    if (fd < 0) {
        to_remove = nullptr;
        return nullptr;
    }
    FILE *stream = fdopen(fd, "w");
    if (stream == nullptr) {
        int error = errno;
        close(fd);
        remove_file(temporary.c_str());
        to_remove = nullptr;
        errno = error;
    }
    return stream;
}

int finish_output_file(FILE *stream, const char *program, int write_error) {
    int error = write_error;
    if (error == 0 && flushed_to_disk(stream) != 0)
        error = errno;
    if (fclose(stream) != 0 && error == 0)
        error = errno;
    if (error == 0 && replaced(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0)
        remove_file(temporary.c_str());
    to_remove = nullptr;
    return write_error_status(program, error);
}

void discard_output_file(FILE *stream) {
    fclose(stream);
    remove_file(temporary.c_str());
    to_remove = nullptr;
}
