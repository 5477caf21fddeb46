#include "media_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static int64_t ns_of(const timespec &time) { return int64_t(time.tv_sec) * 1000000000 + time.tv_nsec; }

int64_t wall_clock_ns() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return ns_of(now);
}

static bool identity_of(const struct stat &status, FileIdentity &identity) {
    if (!S_ISREG(status.st_mode))
        return false;
    identity = {uint64_t(status.st_dev), uint64_t(status.st_ino), int64_t(status.st_size), ns_of(status.st_mtim),
                ns_of(status.st_ctim)};
    return true;
}

bool identify_path(const std::string &path, FileIdentity &identity) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && identity_of(status, identity);
}

int open_media_file(const std::string &path, int64_t &size, FileIdentity &identity) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat status;
    size = fstat(fd, &status) == 0 && identity_of(status, identity) ? identity.size : -1;
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
