#include "run.h"

#include <errno.h>
#include <getopt.h>
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
static void uri_path(const std::string &folder, std::string &converted) {
#ifdef _WIN32
    converted.assign(folder.size() + 2, '\0');
    windows_directory_as_uri_path(folder.c_str(), &converted[0]);
    converted.resize(strlen(converted.c_str()));
#else
    converted = folder;
#endif
}

// How a playlist's tracks are ordered within each folder.
enum class Order { name, tags };

// A folder's file and its reading, in the order they are written.
struct Track {
    size_t index;
    Reading reading;
};

// By disc (none counts as 1), then track number, then name; files without a track number
// after those with one, by name. The files come in name order, which a stable sort keeps.
static void order_by_tags(std::vector<Track> &tracks) {
    std::stable_sort(tracks.begin(), tracks.end(), [](const Track &a, const Track &b) {
        const Tags &x = a.reading.tags, &y = b.reading.tags;
        if ((x.track > 0) != (y.track > 0))
            return x.track > 0;
        uint32_t x_disc = x.disc > 0 ? x.disc : 1, y_disc = y.disc > 0 ? y.disc : 1;
        if (x.track == 0 || x_disc != y_disc)
            return x.track > 0 && x_disc < y_disc;
        return x.track < y.track;
    });
}

// A file's folder as its location (or image) takes it: relative to the playlist's folder
// when inside it, else absolute, as a file URI's path.
static void place(const std::string &folder, const std::string *playlist_folder, std::string &written,
                  LocationForm &form, const char *&directory) {
    if (playlist_folder != nullptr && relative_folder(*playlist_folder, folder, written)) {
        form = LocationForm::relative;
    } else {
        form = LocationForm::in_directory;
        uri_path(folder, written);
    }
    directory = written.c_str();
}

static void write_track(const MediaFiles &files, const Track &track, int32_t position,
                        const std::string *playlist_folder) {
    static std::string folder, image_folder;
    std::string number = std::to_string(position), duration = std::to_string(track.reading.duration_ms);
    const MediaFiles::File &file = files.files[track.index];
    const MediaFiles::Cover &cover = files.covers[file.folder];
    const Tags &tags = track.reading.tags;
    TrackEntry entry;
    entry.kind = ValueKind::literal;
    place(files.folders[file.folder], playlist_folder, folder, entry.form, entry.directory);
    entry.name = file.name.c_str();
    entry.position = number.c_str();
    entry.duration = duration.c_str();
    entry.title = tags.title.c_str();
    entry.creator = tags.creator.c_str();
    if (!cover.name.empty()) {
        place(cover.folder, playlist_folder, image_folder, entry.image_form, entry.image_directory);
        entry.image_name = cover.name.c_str();
    }
    entry.album = tags.album.c_str();
    entry.track_number = tags.track;
    write_track_entry(entry);
}

// Collects first, then reads and writes in order, a folder's files at a time; a file that is
// no regular file any more is left out, so a track's position is only known when it is
// written. With a playlist folder, files inside it get locations relative to it. Returns
// how many tracks it wrote.
static int32_t write_playlist(const MediaFiles &files, const std::string *playlist_folder, Order order,
                              const char *title) {
    int32_t written = 0;
    ReaderPool readings(files);
    std::vector<Track> tracks;
    for (size_t first = 0, end; first < files.files.size() && !output_failed(); first = end) {
        // In name order each file is written as it is read; in tags order a folder's files.
        size_t last = order == Order::name ? first + 1 : files.files.size();
        tracks.clear();
        for (end = first; end < last && files.files[end].folder == files.files[first].folder; ++end) {
            show_progress(end, files.files.size());
            Reading reading = readings.take(end);
            if (reading.outcome == Reading::not_regular) {
                fprintf(stderr, not_regular_message, printable(media_file_path(files, end)).c_str());
                continue;
            }
            if (reading.outcome == Reading::unreadable)
                fprintf(stderr, unreadable_message, printable(media_file_path(files, end)).c_str(),
                        reading_error_text(reading.error).c_str());
            tracks.push_back({end, std::move(reading)});
        }
        if (order == Order::tags)
            order_by_tags(tracks);
        for (const Track &track : tracks) {
            if (written == INT32_MAX || output_failed())
                break;
            if (written == 0)
                write_playlist_head_titled(title);
            write_track(files, track, ++written, playlist_folder);
        }
    }
    show_progress(files.files.size(), files.files.size());
    if (written > 0)
        write_playlist_tail(written);
    return written;
}

static const char usage_text[] =
"Aufruf: lodrix-playlist [OPTION]... [ORDNER|DATEI]...\n"
"Schreibt eine Wiedergabeliste (XSPF, wie VLC sie liest) der Mediendateien in den ORDNERn\n"
"(rekursiv) und der genannten DATEIen auf die Standardausgabe; ohne Operanden: der aktuelle\n"
"Ordner. Ein Operand, der mit - beginnt, steht nach -- oder als ./-x.\n"
"\n"
"  -o, --output=DATEI     die Liste in DATEI schreiben, ganz oder gar nicht; Orte im Ordner\n"
"                         von DATEI relativ zu ihm\n"
"      --order=name       in jedem Ordner nach Namen, natuerlich (Track 2 vor Track 10; Vorgabe)\n"
"      --order=tags       in jedem Ordner nach CD-, dann Titelnummer, dann Namen\n"
"      --title=TEXT       der Titel der Liste (Vorgabe: Wiedergabeliste)\n"
"  -h, --help             diese Hilfe zeigen\n"
"  -V, --version          die Version zeigen\n"
"\n"
"Status: 0 geschrieben; 1 falsche Option, Operand fehlt oder keine Mediendatei; 2 Schreibfehler;\n"
"3 kein aktuelles Verzeichnis.\n";
static const char version_text[] = "lodrix-playlist 2.1\n";
static const char unknown_option_message[] = "lodrix-playlist: unbekannte Option %s (lodrix-playlist --help zeigt alle)\n";
static const char missing_value_message[] = "lodrix-playlist: %s braucht einen Wert (lodrix-playlist --help zeigt alle)\n";
static const char wrong_order_message[] = "lodrix-playlist: --order=%s: name oder tags\n";

// What the command line asks for, or the status to end with at once.
struct Options {
    const char *output = nullptr;
    Order order = Order::name;
    const char *title = "Wiedergabeliste";
    std::vector<std::string> operands;
    int status = -1; ///< -1: go on
};

// GNU rules: short options grouped, a long one with =VALUE or the next argument, "--" ends
// them, operands anywhere.
static Options read_options(int argc, char **argv) {
    enum { order_option = 256, title_option };
    static const option long_options[] = {
        {"output", required_argument, nullptr, 'o'}, {"order", required_argument, nullptr, order_option},
        {"title", required_argument, nullptr, title_option}, {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'}, {nullptr, 0, nullptr, 0},
    };
    Options options;
    opterr = 0;
    optind = 1;
    for (int option; options.status < 0 && (option = getopt_long(argc, argv, ":o:hV", long_options, nullptr)) != -1;) {
        switch (option) {
        case 'o':
            options.output = optarg;
            break;
        case order_option:
            if (strcmp(optarg, "name") == 0 || strcmp(optarg, "tags") == 0) {
                options.order = optarg[0] == 'n' ? Order::name : Order::tags;
            } else {
                fprintf(stderr, wrong_order_message, printable(optarg).c_str());
                options.status = 1;
            }
            break;
        case title_option:
            options.title = optarg;
            break;
        case 'h':
            fputs(usage_text, stdout);
            options.status = close_output(stdout, program, 0);
            break;
        case 'V':
            fputs(version_text, stdout);
            options.status = close_output(stdout, program, 0);
            break;
        default: {
            // The option as given: "-x", or the long one up to its "=".
            const char *argument = argv[optind - 1];
            std::string given = strncmp(argument, "--", 2) == 0 ? argument : std::string("-") + char(optopt);
            given = given.substr(0, given.find('='));
            fprintf(stderr, option == ':' ? missing_value_message : unknown_option_message, printable(given).c_str());
            options.status = 1;
        }
        }
    }
    options.operands.assign(argv + optind, argv + argc);
    if (options.operands.empty())
        options.operands.push_back(".");
    return options;
}

int run(int argc, char **argv) {
    try {
        Options options = read_options(argc, argv);
        if (options.status >= 0)
            return options.status;
        const char *output = options.output;
        const std::vector<std::string> &operands = options.operands;

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
        bool all_read =
            collect_media_files(operands, base != nullptr ? base : "", files, options.order == Order::tags);
        av_log_set_level(AV_LOG_QUIET);
        start_output(stream);
        int32_t written =
            write_playlist(files, output != nullptr ? &playlist_folder : nullptr, options.order, options.title);
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
