#include "run.h"

#include <stdio.h>
#include <string.h>

#include "platform/platform.h"
#include "usage.h"
#include "xspf/xspf.h"

int32_t parse_item_count(const char *text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    // One past INT32_MAX is enough to tell every overflow apart, and keeps the sum from growing.
    const int64_t limit = INT64_C(2147483648);
    int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    if (negative)
        return (int32_t)-magnitude;
    return magnitude > INT32_MAX ? INT32_MAX : (int32_t)magnitude;
}

RunSettings scan_arguments(int argc, char **argv) {
    RunSettings settings = {argv[1], "1", "0", false, false, 0, false, nullptr};
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (strcmp(argument, "-v") == 0)
            settings.want_head = true;
        if (strcmp(argument, "-n") == 0 && i + 1 < argc) {
            int32_t count = parse_item_count(argv[i + 1]);
            if (count > 0) {
                settings.want_tail = true;
                settings.item_count = count;
            }
        }
        if (strcmp(argument, "-p") == 0)
            settings.prefix_directory = true;
    }
    if (argc > 2 && argv[2][0] != '-') {
        settings.track_position = argv[2];
        if (argc > 3 && argv[3][0] != '-')
            settings.duration = argv[3];
    }
    if (settings.prefix_directory)
        settings.directory = current_directory();
    return settings;
}

void write_playlist(const RunSettings &settings) {
    if (settings.want_head)
        write_playlist_head();
    TrackEntry entry;
    entry.form = settings.prefix_directory ? LocationForm::in_directory : LocationForm::as_given;
    entry.kind = ValueKind::text;
    entry.directory = settings.directory != nullptr ? settings.directory : "";
    entry.name = settings.media_name;
    entry.position = settings.track_position;
    entry.duration = settings.duration;
    write_track_entry(entry);
    if (settings.want_tail)
        write_playlist_tail(settings.item_count);
}

int run(int argc, char **argv) {
    if (argc <= 1) {
        show_usage(argc > 0 ? argv[0] : nullptr);
        return 1;
    }
    RunSettings settings = scan_arguments(argc, argv);
    // A location without its folder would name another file: write nothing.
    if (settings.prefix_directory && settings.directory == nullptr)
        return no_current_directory("Lodrix");
    start_output(stdout);
    write_playlist(settings);
    return close_output(stdout, "Lodrix", finish_output());
}
