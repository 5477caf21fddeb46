#include "output_file.h"

#include <errno.h>
#include <signal.h>

#include "output_file_system.h"

static std::string target, temporary;
// What the signal handler removes; null while there is nothing to remove.
static const char *volatile to_remove;

void remove_on_signal(const char *path) { to_remove = path; }

static void remove_and_end(int signal_number) {
    if (to_remove != nullptr)
        remove_file(to_remove);
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

// Removes the file if it has a name.
static void remove_temporary() {
    if (to_remove != nullptr)
        remove_file(temporary.c_str());
    to_remove = nullptr;
}

FILE *start_output_file(const std::string &path) {
    target = path;
    size_t slash = path.find_last_of(path_separators);
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    temporary = folder + "." + path.substr(slash + 1) + ".XXXXXX";
    for (int i = 0; i < ending_signal_count; ++i)
        signal(ending_signals[i], remove_and_end);
    int fd = made_file(path, temporary);
    if (fd < 0) {
        to_remove = nullptr;
        return nullptr;
    }
    FILE *stream = fdopen(fd, "w");
    if (stream == nullptr) {
        int error = errno;
        close_descriptor(fd);
        remove_temporary();
        errno = error;
    }
    return stream;
}

int finish_output_file(FILE *stream, int write_error) {
    int error = write_error;
    if (error == 0 && flushed_to_disk(stream) != 0)
        error = errno;
    if (error == 0 && named(stream, temporary) != 0)
        error = errno;
    if (fclose(stream) != 0 && error == 0)
        error = errno;
    if (error == 0 && replaced(temporary.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0)
        remove_temporary();
    to_remove = nullptr;
    return error;
}

void discard_output_file(FILE *stream) {
    fclose(stream);
    remove_temporary();
}
