#include "media_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int open_media_file(const std::string &path, int64_t &size) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat status;
    size = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) ? int64_t(status.st_size) : -1;
    return fd;
}

int64_t read_media_file(int fd, void *into, size_t size, int64_t at) {
    ssize_t got;
    do
        got = pread(fd, into, size, at);
    while (got < 0 && errno == EINTR);
    return got;
}

void close_media_file(int fd) { close(fd); }
