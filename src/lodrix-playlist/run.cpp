#include "run.h"

#include <stdio.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "media_duration.h"
#include "media_files.h"
#include "platform/platform.h"
#include "xspf/xspf.h"

static const char no_media_message[] = "lodrix-playlist: keine Mediendateien gefunden\n";
static const char progress_template[] = "\r%zu/%zu";

// "N/M" on a terminal, at most ten times a second; the last call clears it.
static void show_progress(size_t done, size_t total) {
    using clock = std::chrono::steady_clock;
    static const bool on_terminal = isatty(fileno(stderr));
    static clock::time_point last_shown;
    static int shown_length;
    if (!on_terminal)
        return;
    if (done == total) {
        fprintf(stderr, "\r%*s\r", shown_length, "");
        return;
    }
    if (clock::now() - last_shown < std::chrono::milliseconds(100))
        return;
    last_shown = clock::now();
    shown_length = fprintf(stderr, progress_template, done, total) - 1;
}

int run(int argc, char **argv) {
    std::vector<std::string> operands(argv + 1, argv + argc);
    if (operands.empty())
        operands.push_back(".");
    std::vector<MediaFile> files;
    if (!collect_media_files(operands, current_directory(), files))
        return 1;
    if (files.empty()) {
        fputs(no_media_message, stderr);
        return 1;
    }

    av_log_set_level(AV_LOG_QUIET);
    start_output(stdout);
    const int32_t count = files.size() < INT32_MAX ? int32_t(files.size()) : INT32_MAX;
    for (int32_t position = 1; position <= count && !output_failed(); ++position) {
        const MediaFile &file = files[position - 1];
        show_progress(position - 1, count);
        std::string duration = std::to_string(media_duration_ms(media_file_path(file)));
        std::string position_text = std::to_string(position);
        if (position == 1)
            write_playlist_head();
        TrackEntry entry;
        entry.form = LocationForm::in_directory;
        entry.kind = ValueKind::literal;
        entry.directory = file.folder.c_str();
        entry.name = file.name.c_str();
        entry.position = position_text.c_str();
        entry.duration = duration.c_str();
        write_track_entry(entry);
        if (position == count)
            write_playlist_tail(count);
    }
    int write_error = finish_output();
    show_progress(count, count);
    return close_output(stdout, "lodrix-playlist", write_error);
}
