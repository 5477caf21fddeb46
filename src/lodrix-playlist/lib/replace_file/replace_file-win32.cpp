#include "lodrix-playlist/lib/replace_file/replace_file_system.h"
#include "lodrix-playlist/lib/system/system.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <signal.h>
#include <windows.h>

#include <filesystem>

const char path_separators[] = "/\\";
const int ending_signals[] = {SIGINT, SIGTERM, SIGBREAK};
const int ending_signal_count = sizeof ending_signals / sizeof ending_signals[0];

// Windows calls a signal handler on a thread of its own, so the handler may allocate.
static std::wstring wide(const char *text) { return std::filesystem::u8path(text).wstring(); }

void remove_file(const char *path) { DeleteFileW(wide(path).c_str()); }
void close_descriptor(int fd) { _close(fd); }

// A name of its own, made like mkstemp's; shared for deletion, so that a signal can remove it
// while it is open.
int made_file(const std::string &, std::string &temporary, bool &unnamed) {
    unnamed = false;
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
            remove_on_signal(temporary.c_str());
            return _open_osfhandle(intptr_t(file), _O_WRONLY | _O_TEXT);
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            errno = errno_of_windows_error(GetLastError());
            return -1;
        }
    }
}

int named(int, std::string &, bool &) { return 0; }

// Windows has no flush of a whole volume that a user may call: one flush per file.
void flush_to_disk(const int *fds, int *errors, size_t count) {
    for (size_t i = 0; i < count; ++i)
        errors[i] = FlushFileBuffers(HANDLE(_get_osfhandle(fds[i]))) ? 0 : errno_of_windows_error(GetLastError());
}

int replaced(const char *from, const char *to) {
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    errno = errno_of_windows_error(GetLastError());
    return -1;
}
