#include "lodrix-playlist/lib/replace_file/replace_file_system.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

const char path_separators[] = "/";
const int ending_signals[] = {SIGINT, SIGTERM, SIGHUP};
const int ending_signal_count = sizeof ending_signals / sizeof ending_signals[0];

void remove_file(const char *path) { unlink(path); }
void close_descriptor(int fd) { close(fd); }

// No signal between making a name and knowing it.
static sigset_t block_ending_signals() {
    sigset_t ending, before;
    sigemptyset(&ending);
    for (int signal_number : ending_signals)
        sigaddset(&ending, signal_number);
    sigprocmask(SIG_BLOCK, &ending, &before);
    return before;
}

// The permissions a new file gets; learnt once, as umask can only be read by setting it.
static mode_t new_file_mode() {
    static mode_t mode = [] {
        mode_t mask = umask(0);
        umask(mask);
        return 0666 & ~mask;
    }();
    return mode;
}

// The file has no name until it is complete (O_TMPFILE), so that no way of ending the run,
// SIGKILL included, leaves one behind; where the file system cannot, a name of mkstemp's.
int made_file(const std::string &target, std::string &temporary, bool &unnamed) {
    struct stat old;
    mode_t mode = stat(target.c_str(), &old) == 0 ? old.st_mode & 07777 : new_file_mode();
    size_t slash = temporary.rfind('/');
    std::string folder = slash == std::string::npos ? "." : temporary.substr(0, slash + 1);
    int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    unnamed = fd >= 0;
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        sigset_t before = block_ending_signals();
        fd = mkstemp(&temporary[0]);
        if (fd >= 0)
            remove_on_signal(temporary.c_str());
        sigprocmask(SIG_SETMASK, &before, nullptr);
    }
    // A new file's mode is as asked; an old one's may hold bits the umask would clear.
    if (fd >= 0 && (!unnamed || mode != new_file_mode()) && fchmod(fd, mode) != 0) {
        int error = errno;
        close(fd);
        if (!unnamed) {
            remove_file(temporary.c_str());
            forget_on_signal(temporary.c_str());
        }
        errno = error;
        return -1;
    }
    return fd;
}

// A name of mkstemp's kind for the unnamed file, linked through /proc (linkat with
// AT_EMPTY_PATH needs a privilege); from here to the rename a signal removes it.
int named(int fd, std::string &temporary, bool &unnamed) {
    if (!unnamed)
        return 0;
    std::string pattern = temporary, descriptor = "/proc/self/fd/" + std::to_string(fd);
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static bool seeded = false;
    if (!seeded)
        srandom(unsigned(getpid()) ^ unsigned(time(nullptr)));
    seeded = true;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        temporary = pattern;
        for (size_t i = temporary.size() - 6; i < temporary.size(); ++i)
            temporary[i] = letters[unsigned(random()) % 62];
        sigset_t before = block_ending_signals();
        int linked = linkat(AT_FDCWD, descriptor.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW);
        if (linked == 0)
            remove_on_signal(temporary.c_str());
        int error = errno;
        sigprocmask(SIG_SETMASK, &before, nullptr);
        if (linked == 0) {
            unnamed = false;
            return 0;
        }
        if (error != EEXIST) {
            temporary = pattern;
            errno = error;
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

// One file: fsync. Several: one syncfs per file system they are on, which writes them all
// with one flush of the disk's cache where an fsync each would flush it each time.
void flush_to_disk(const int *fds, int *errors, size_t count) {
    if (count == 1) {
        errors[0] = fsync(fds[0]) == 0 ? 0 : errno;
        return;
    }
    for (size_t i = 0; i < count; ++i)
        errors[i] = -1;
    for (size_t i = 0; i < count; ++i) {
        if (errors[i] != -1)
            continue;
        struct stat file;
        if (fstat(fds[i], &file) != 0) {
            errors[i] = errno;
            continue;
        }
        int error = syncfs(fds[i]) == 0 ? 0 : errno;
        for (size_t j = i; j < count; ++j) {
            struct stat other;
            if (errors[j] == -1 && fstat(fds[j], &other) == 0 && other.st_dev == file.st_dev)
                errors[j] = error;
        }
    }
}

int replaced(const char *from, const char *to) { return rename(from, to); }
