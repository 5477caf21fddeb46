#include "system.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

static int64_t ns_of(const timespec &time) { return int64_t(time.tv_sec) * 1000000000 + time.tv_nsec; }

int64_t wall_clock_ns() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return ns_of(now);
}

int64_t monotonic_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
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

// The kernel takes ".." from the folder a path really leads to, so the path up to its last
// ".." is resolved through the file system; the rest is taken as written.
bool absolute_path(const std::string &path, const std::string &base, std::string &absolute, std::error_code &error) {
    fs::path given = fs::u8path(path), walked = given.root_path(), through_parent, rest;
    for (const fs::path &component : given.relative_path()) {
        walked /= component;
        if (component == "..") {
            through_parent = walked;
            rest.clear();
        } else {
            rest /= component;
        }
    }
    fs::path start = !through_parent.empty() ? fs::canonical(through_parent, error)
                     : given.is_absolute()   ? given.root_path()
                                             : fs::u8path(base);
    if (error)
        return false;
    absolute = start.u8string();
    for (const fs::path &component : rest)
        if (component != "." && !component.empty())
            absolute = joined_path(absolute, component.u8string());
    return true;
}

const char folder_separators[] = "/";
const bool names_have_case = true;

uint64_t random_seed() {
    uint64_t seed;
    ssize_t got;
    // Waits only while the kernel's pool is not yet ready, early at boot.
    while ((got = getrandom(&seed, sizeof seed, 0)) < 0 && errno == EINTR) {
    }
    if (got == ssize_t(sizeof seed))
        return seed;
    // A kernel without getrandom: the time still makes each run's list another.
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

std::string signal_name(int signal_number) {
    const char *name = sigabbrev_np(signal_number);
    return name != nullptr ? "SIG" + std::string(name) : std::to_string(signal_number);
}

// No Windows errors here.
int errno_of_windows_error(unsigned long) { return EIO; }
