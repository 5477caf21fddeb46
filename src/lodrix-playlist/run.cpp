#include "run.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "reader_pool.h"
#include "media_files.h"
#include "output_file.h"
#include "platform/platform.h"
#include "xspf/xspf.h"

static const char program[] = "lodrix-playlist";
static const char no_media_message[] = "lodrix-playlist: keine Mediendateien gefunden\n";
static const char not_regular_message[] = "lodrix-playlist: %s: keine regulaere Datei mehr, uebergangen\n";
static const char unreadable_message[] = "lodrix-playlist: %s: nicht lesbar, Dauer 0: %s\n";
static const char no_memory_message[] = "lodrix-playlist: zu wenig Speicher\n";
static const char no_output_name_message[] = "lodrix-playlist: -o braucht einen Dateinamen\n";
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

static bool is_relative(const std::string &path) { return !std::filesystem::u8path(path).is_absolute(); }

// The folder path of a file inside folder, relative to it ("" for folder itself), or false
// for a file elsewhere. Both are absolute paths as the program forms them.
// Allocates nothing but the room relative needs (readers are forked while this runs).
static bool relative_folder(const std::string &folder, const std::string &file_folder, std::string &relative) {
    size_t length = folder.back() == '/' ? folder.size() - 1 : folder.size();
    if (file_folder.compare(0, length, folder, 0, length) != 0)
        return false;
    if (file_folder.size() == length) {
        relative.clear();
        return true;
    }
    if (file_folder[length] != '/')
        return false;
    relative.assign(file_folder, length + 1, std::string::npos);
    return true;
}

// A folder as a file URI's path: on Windows "C:/Musik" is "/C:/Musik".
static const char *uri_path(const std::string &folder, std::string &converted) {
#ifdef _WIN32
    converted.assign(folder.size() + 2, '\0');
    windows_directory_as_uri_path(folder.c_str(), &converted[0]);
    converted.resize(strlen(converted.c_str()));
    return converted.c_str();
#else
    (void)converted;
    return folder.c_str();
#endif
}

// Collects first, then reads and writes in order; a file that is no regular file any more
// is left out, so a track's position is only known when it is written. With a playlist
// folder, files inside it get locations relative to it. Returns how many tracks it wrote.
static int32_t write_playlist(const MediaFiles &files, const std::string *playlist_folder) {
    int32_t written = 0;
    std::string folder, converted;
    ReaderPool readings(files);
    for (size_t i = 0; i < files.files.size() && !output_failed(); ++i) {
        show_progress(i, files.files.size());
        Reading reading = readings.take(i);
        if (reading.outcome == Reading::not_regular) {
            fprintf(stderr, not_regular_message, printable(media_file_path(files, i)).c_str());
            continue;
        }
        if (reading.outcome == Reading::unreadable)
            fprintf(stderr, unreadable_message, printable(media_file_path(files, i)).c_str(),
                    reading_error_text(reading.error).c_str());
        if (written == INT32_MAX)
            break;
        if (written == 0)
            write_playlist_head();
        std::string position = std::to_string(++written), duration = std::to_string(reading.duration_ms);
        const MediaFiles::File &file = files.files[i];
        TrackEntry entry;
        entry.form = LocationForm::in_directory;
        entry.kind = ValueKind::literal;
        entry.directory = uri_path(files.folders[file.folder], converted);
        if (playlist_folder != nullptr && relative_folder(*playlist_folder, files.folders[file.folder], folder)) {
            entry.form = LocationForm::relative;
            entry.directory = folder.c_str();
        }
        entry.name = file.name.c_str();
        entry.position = position.c_str();
        entry.duration = duration.c_str();
        write_track_entry(entry);
    }
    show_progress(files.files.size(), files.files.size());
    if (written > 0)
        write_playlist_tail(written);
    return written;
}

int run(int argc, char **argv) {
    try {
        // "-o FILE" and "--" before the operands; any other argument is a path.
        const char *output = nullptr;
        int first = 1;
        for (; first < argc; ++first) {
            if (strcmp(argv[first], "--") == 0) {
                ++first;
                break;
            }
            if (strcmp(argv[first], "-o") != 0)
                break;
            if (++first == argc) {
                fputs(no_output_name_message, stderr);
                return 1;
            }
            output = argv[first];
        }
        std::vector<std::string> operands(argv + first, argv + argc);
        if (operands.empty())
            operands.push_back(".");

        const char *base = nullptr;
        if (std::any_of(operands.begin(), operands.end(), is_relative) || (output && is_relative(output))) {
            base = working_directory();
            if (base == nullptr)
                return no_current_directory(program);
        }
        std::string playlist_folder;
        FILE *stream = stdout;
        if (output != nullptr) {
            std::error_code error;
            if (!absolute_path(output, base != nullptr ? base : "", playlist_folder, error))
                return write_error_status(program, error.value());
            playlist_folder = std::filesystem::u8path(playlist_folder).parent_path().generic_u8string();
            stream = start_output_file(output);
            if (stream == nullptr)
                return write_error_status(program, errno);
        }

        MediaFiles files;
        bool all_read = collect_media_files(operands, base != nullptr ? base : "", files);
        av_log_set_level(AV_LOG_QUIET);
        start_output(stream);
        int32_t written = write_playlist(files, output != nullptr ? &playlist_folder : nullptr);
        int write_error = finish_output();
        if (written == 0 && write_error == 0) {
            if (output != nullptr)
                discard_output_file(stream);
            if (all_read)
                fputs(no_media_message, stderr);
            return 1;
        }
        int status = output != nullptr ? finish_output_file(stream, program, write_error)
                                        : close_output(stdout, program, write_error);
        return status == 0 && !all_read ? 1 : status;
    } catch (const std::bad_alloc &) {
        fputs(no_memory_message, stderr);
        return 2;
    }
}
