#include "media_file.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <filesystem>

int open_media_file(const std::string &path, int64_t &size) {
    int fd = _wopen(std::filesystem::u8path(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0)
        return -1;
    struct _stat64 status;
    size = _fstat64(fd, &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG ? status.st_size : -1;
    return fd;
}

int64_t read_media_file(int fd, void *into, size_t size, int64_t at) {
    OVERLAPPED where = {};
    where.Offset = DWORD(at);
    where.OffsetHigh = DWORD(at >> 32);
    DWORD got = 0;
    if (ReadFile(HANDLE(_get_osfhandle(fd)), into, DWORD(size), &got, &where))
        return got;
    DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF)
        return 0;
    errno = error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION ? EACCES : EIO;
    return -1;
}

void close_media_file(int fd) { _close(fd); }
