#include "messages.h"

#include <stdarg.h>
#include <stdio.h>

#include <atomic>
#include <string>

const char program_name[] = "lodrix-playlist";

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
