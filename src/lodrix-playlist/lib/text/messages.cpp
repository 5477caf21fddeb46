#include "messages.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <string>

const char program_name[] = "lodrix-playlist";
static const char write_error_message[] = N_("error writing the output: %s");
static const char write_error_unknown_message[] = N_("error writing the output");
static const char no_directory_message[] = N_("current directory cannot be had: %s");

static std::atomic<bool> error_reported{false};

// The whole line in one write, so that lines of two threads never mix.
static void write_message(const char *format, va_list values) {
    va_list again;
    va_copy(again, values);
    int length = vsnprintf(nullptr, 0, format, values);
    if (length >= 0) {
        std::string line(program_name);
        line += ": ";
        size_t start = line.size();
        line.resize(start + size_t(length) + 1);
        vsnprintf(&line[start], size_t(length) + 1, format, again);
        line.back() = '\n';
        write_text(stderr, line.data(), line.size());
    }
    va_end(again);
}

void report(const char *format, ...) {
    va_list values;
    va_start(values, format);
    write_message(translated(format), values);
    va_end(values);
}

void report_error(const char *format, ...) {
    error_reported = true;
    va_list values;
    va_start(values, format);
    write_message(translated(format), values);
    va_end(values);
}

bool errors_reported() { return error_reported; }

// The output only counts once it has reached the file: a full disk, a closed stdout or a
// broken pipe must end in status 2, never in a short playlist and status 0.
int output_error_status(int error) {
    if (error == 0)
        return 0;
    if (error > 0)
        report(write_error_message, strerror(error));
    else
        report(write_error_unknown_message);
    return 2;
}

int close_stream(FILE *stream, int write_error) {
    errno = 0;
    if (fclose(stream) != 0 && write_error == 0)
        write_error = errno != 0 ? errno : -1;
    return output_error_status(write_error);
}

int no_directory_status() {
    report(no_directory_message, strerror(errno));
    return 3;
}
