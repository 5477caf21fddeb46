#include "tracks.h"

#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "lodrix-playlist/read/reader.h"
#include "lodrix-playlist/text/text.h"

static const char not_regular_message[] = "lodrix-playlist: %s: keine regulaere Datei mehr, uebergangen\n";
static const char unreadable_message[] = "lodrix-playlist: %s: nicht lesbar, Dauer 0: %s\n";
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

// Each folder's tracks by disc (none counts as 1), then track number, then name; files
// without a track number after those with one, by name. The files come in name order, each
// folder's after each other, which a stable sort keeps.
static void order_by_tags(std::vector<Track> &tracks, const MediaFiles &files) {
    auto by_tags = [](const Track &a, const Track &b) {
        const Tags &x = a.tags, &y = b.tags;
        if ((x.track > 0) != (y.track > 0))
            return x.track > 0;
        uint32_t x_disc = x.disc > 0 ? x.disc : 1, y_disc = y.disc > 0 ? y.disc : 1;
        if (x.track == 0 || x_disc != y_disc)
            return x.track > 0 && x_disc < y_disc;
        return x.track < y.track;
    };
    for (auto start = tracks.begin(), end = start; start != tracks.end(); start = end) {
        uint32_t folder = files.files[start->file].folder;
        end = std::find_if(start, tracks.end(), [&](const Track &track) { return files.files[track.file].folder != folder; });
        std::stable_sort(start, end, by_tags);
    }
}

Tracks::Tracks(const MediaFiles &files, ReaderPool &readings, const Options &options, const Selection &selection,
               bool by_folder)
    : files(files), readings(readings), order(options.order), by_folder(by_folder || options.order == Order::tags),
      selector(selection, files, by_folder) {}

bool Tracks::next(std::vector<Track> &tracks) {
    tracks.clear();
    const size_t count = files.files.size();
    if (next_file >= count || selector.finished()) {
        show_progress(count, count);
        return false;
    }
    // In name order each file is written as it is read; else a folder's files at a time
    // (they follow each other); a sort or a shuffle takes the whole list (with -e, a folder's).
    bool whole_list = selector.needs_all_tracks();
    size_t first = next_file, last = by_folder || whole_list ? count : first + 1;
    if (whole_list)
        tracks.reserve(count - first);
    for (; next_file < last && (whole_list || files.files[next_file].folder == files.files[first].folder); ++next_file) {
        show_progress(next_file, count);
        Reading reading = readings.take(next_file);
        if (reading.outcome == Reading::not_regular) {
            fprintf(stderr, not_regular_message, printable(media_file_path(files, next_file)).c_str());
            continue;
        }
        if (reading.outcome == Reading::unreadable)
            fprintf(stderr, unreadable_message, printable(media_file_path(files, next_file)).c_str(),
                    reading_error_text(reading.error).c_str());
        Track track;
        track.file = next_file;
        track.end_ms = track.file_ms = reading.duration_ms;
        track.tags = std::move(reading.tags);
        tracks.push_back(std::move(track));
    }
    if (order == Order::tags)
        order_by_tags(tracks, files);
    selector.apply(tracks);
    if (next_file >= count)
        show_progress(count, count);
    return true;
}
