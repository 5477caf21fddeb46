#include "output_file.h"

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

static std::string target, temporary;
// What the signal handler removes; null once there is nothing to remove.
static const char *volatile to_remove;

static void remove_and_end(int signal_number) {
    if (to_remove != nullptr)
        unlink(to_remove);
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

FILE *start_output_file(const std::string &path) {
    target = path;
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    temporary = folder + "." + path.substr(slash + 1) + ".XXXXXX";
    mode_t mask = umask(0);
    umask(mask);
    struct stat old;
    mode_t mode = stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : 0666 & ~mask;
    struct sigaction action = {};
    action.sa_handler = remove_and_end;
    sigemptyset(&action.sa_mask);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal_number, &action, nullptr);
    // No signal between making the file and knowing its name.
    sigset_t ending, before;
    sigemptyset(&ending);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&ending, signal_number);
    sigprocmask(SIG_BLOCK, &ending, &before);
    int fd = mkstemp(&temporary[0]);
    if (fd >= 0)
        to_remove = temporary.c_str();
    sigprocmask(SIG_SETMASK, &before, nullptr);
    if (fd < 0)
        return nullptr;
    FILE *stream = fchmod(fd, mode) == 0 ? fdopen(fd, "w") : nullptr;
    if (stream == nullptr) {
        int error = errno;
        close(fd);
        unlink(temporary.c_str());
        to_remove = nullptr;
        errno = error;
    }
    return stream;
}

int finish_output_file(FILE *stream, const char *program, int write_error) {
    int error = write_error;
    if (error == 0 && fsync(fileno(stream)) != 0)
        error = errno;
    if (fclose(stream) != 0 && error == 0)
        error = errno;
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0)
        unlink(temporary.c_str());
    to_remove = nullptr;
    return write_error_status(program, error);
}

void discard_output_file(FILE *stream) {
    fclose(stream);
    unlink(temporary.c_str());
    to_remove = nullptr;
}
