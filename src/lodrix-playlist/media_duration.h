#pragma once

#include <stdint.h>

#include <string>

/// What reading one listed file told.
struct Reading {
    enum Outcome {
        measured,    ///< opened and read; duration_ms is 0 when it cannot be told (not media)
        not_regular, ///< no regular file (any more): left out of the playlist
        unreadable,  ///< could not be opened or read: listed with duration 0, error says why
    } outcome;
    int64_t duration_ms;
    int error; ///< an errno value, or too_slow
};

/// Reading error: the file took longer than the deadline to read.
const int too_slow = -1;

/// Reads the playing time of the file at path, in milliseconds, rounded, as ffprobe reports
/// it. Opens that file only (no blocking, nothing it names), and no other; the duration comes
/// from the headers where they hold it, from a probe of the streams where not.
Reading read_duration(const std::string &path);

/// The reason for error in German words where the system has none (too_slow), else strerror.
std::string reading_error_text(int error);
