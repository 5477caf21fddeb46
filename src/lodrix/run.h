#pragma once

#include <stdint.h>

/// What the command line asks of one playlist run. The texts point into argv and the
/// environment; nothing is copied.
struct RunSettings {
    const char *media_name;
    const char *track_position;
    const char *duration;
    bool want_head;
    bool want_tail;
    int32_t item_count;
    bool prefix_directory;
    const char *directory;
};

/// Runs the tool on its command line and returns the exit status: 0 after a playlist run
/// that reached standard output whole, 1 after a usage run, 2 when writing failed, 3 when
/// "-p" cannot have the working directory (nothing written).
int run(int argc, char **argv);

/// Reads a playlist run's settings from its command line (argc at least 2) and, for "-p",
/// the current directory (null when it cannot be had).
RunSettings scan_arguments(int argc, char **argv);

/// Writes head, track entry and tail as the settings ask to the writer's output, stopping at
/// a write error.
void write_playlist(const RunSettings &settings);

/// The count after "-n", read as atoi reads it, but saturated at the int32_t range instead
/// of overflowing.
int32_t parse_item_count(const char *text);
