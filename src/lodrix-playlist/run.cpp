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
static const char list_not_written_message[] = "lodrix-playlist: %s: Liste nicht geschrieben: %s\n";
static const char unreadable_list_message[] = "lodrix-playlist: %s: Liste nicht lesbar: %s\n";
static const char progress_template[] = "\r%zu/%zu";
static const char default_title[] = "Wiedergabeliste";

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
        directory = written.c_str();
    } else {
        form = LocationForm::in_directory;
        directory = uri_path(folder, written);
    }
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

// The readings of the next files from first on, in the order they are written, into tracks;
// returns where the next files begin. In name order in a playlist of its own each file is
// written as it is read; else a folder's files at a time (they follow each other).
static size_t take_files(const MediaFiles &files, ReaderPool &readings, size_t first, Order order, bool one_folder,
                         std::vector<Track> &tracks) {
    size_t last = order == Order::name && !one_folder ? first + 1 : files.files.size(), end = first;
    tracks.clear();
    for (; end < last && files.files[end].folder == files.files[first].folder; ++end) {
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
    return end;
}

// Writes tracks after the written first; the head before the first. False once the list
// is full (2^31-1 tracks) or a write failed.
static bool write_tracks(const MediaFiles &files, const std::vector<Track> &tracks, const std::string *playlist_folder,
                         const char *title, int32_t &written) {
    for (const Track &track : tracks) {
        if (written == INT32_MAX || output_failed())
            return false;
        if (written == 0)
            write_playlist_head_titled(title);
        write_track(files, track, ++written, playlist_folder);
    }
    return true;
}

// Collects first, then reads and writes in order; a file that is no regular file any more
// is left out, so a track's position is only known when it is written. With a playlist
// folder, files inside it get locations relative to it. Returns how many tracks it wrote.
static int32_t write_playlist(const MediaFiles &files, const std::string *playlist_folder, Order order,
                              const char *title) {
    int32_t written = 0;
    ReaderPool readings(files);
    std::vector<Track> tracks;
    for (size_t first = 0; first < files.files.size();) {
        first = take_files(files, readings, first, order, false, tracks);
        if (!write_tracks(files, tracks, playlist_folder, title, written))
            break;
    }
    show_progress(files.files.size(), files.files.size());
    if (written > 0)
        write_playlist_tail(written);
    return written;
}

// A playlist in every folder that holds media files, of those files, named name or after
// the folder, titled with the folder's name; each written whole or not at all, and one that
// cannot be written does not stop the others. Returns 0, 1 when no folder holds media files,
// or 2 when a list could not be written.
static int write_each_folder(const MediaFiles &files, Order order, const char *name) {
    bool any = false, failed = false;
    ReaderPool readings(files);
    std::vector<Track> tracks;
    for (size_t first = 0; first < files.files.size();) {
        const std::string &folder = files.folders[files.files[first].folder];
        first = take_files(files, readings, first, order, true, tracks);
        if (tracks.empty())
            continue;
        any = true;
        std::string title = std::filesystem::u8path(folder).filename().u8string();
        if (title.empty())
            title = default_title;
        std::string path = folder + (folder.back() == '/' ? "" : "/") + (name != nullptr ? name : title + ".xspf");
        FILE *stream = start_output_file(path);
        int error = stream == nullptr ? errno : 0;
        if (stream != nullptr) {
            int32_t written = 0;
            start_output(stream);
            write_tracks(files, tracks, &folder, title.c_str(), written);
            write_playlist_tail(written);
            error = finish_output_file(stream, finish_output());
        }
        if (error != 0) {
            fprintf(stderr, list_not_written_message, printable(path).c_str(), strerror(error));
            failed = true;
        }
    }
    show_progress(files.files.size(), files.files.size());
    return !any ? 1 : failed ? 2 : 0;
}

static const char usage_text[] =
"Aufruf: lodrix-playlist [OPTION]... [ORDNER|DATEI]...\n"
"Schreibt eine Wiedergabeliste (XSPF, wie VLC sie liest) der Mediendateien in den ORDNERn\n"
"(rekursiv) und der genannten DATEIen auf die Standardausgabe; ohne Operanden: der aktuelle\n"
"Ordner. Ein Operand, der mit - beginnt, steht nach -- oder als ./-x.\n"
"\n"
"  -o, --output=DATEI       die Liste in DATEI schreiben, ganz oder gar nicht; Orte im\n"
"                           Ordner von DATEI relativ zu ihm\n"
"  -e, --each-folder[=NAME] in jedem Ordner mit Mediendateien eine Liste von ihnen, benannt\n"
"                           nach dem Ordner (Album/Album.xspf) oder NAME, Orte relativ\n"
"  -T, --files-from=LISTE   die Operanden aus LISTE (- fuer die Standardeingabe), einer je\n"
"                           Zeile, Zeilen mit # am Anfang uebergangen (M3U); relative ab\n"
"                           dem Ordner von LISTE\n"
"  -0, --null               in LISTE endet jeder Name mit einem NUL-Byte (find -print0)\n"
"      --order=name         in jedem Ordner nach Namen, natuerlich (Track 2 vor Track 10;\n"
"                           Vorgabe)\n"
"      --order=tags         in jedem Ordner nach CD-, dann Titelnummer, dann Namen\n"
"      --title=TEXT         der Titel der Liste (Vorgabe: Wiedergabeliste)\n"
"  -h, --help               diese Hilfe zeigen\n"
"  -V, --version            die Version zeigen\n"
"\n"
"Status: 0 geschrieben; 1 falsche Option, Operand fehlt oder keine Mediendatei; 2 Schreibfehler;\n"
"3 kein aktuelles Verzeichnis.\n";
static const char version_text[] = "lodrix-playlist 2.1\n";
static const char unknown_option_message[] = "lodrix-playlist: unbekannte Option %s (lodrix-playlist --help zeigt alle)\n";
static const char missing_value_message[] = "lodrix-playlist: %s braucht einen Wert (lodrix-playlist --help zeigt alle)\n";
static const char wrong_order_message[] = "lodrix-playlist: --order=%s: name oder tags\n";
static const char both_outputs_message[] = "lodrix-playlist: -o und -e zugleich: eine Liste oder eine je Ordner\n";

// What the command line asks for, or the status to end with at once.
struct Options {
    const char *output = nullptr;
    bool each_folder = false, null = false;
    const char *each_name = nullptr; ///< null: after the folder
    std::vector<const char *> lists;
    Order order = Order::name;
    const char *title = default_title;
    std::vector<std::string> operands;
    int status = -1; ///< -1: go on
};

// GNU rules: short options grouped, a long one with =VALUE or the next argument, "--" ends
// them, operands anywhere.
static Options read_options(int argc, char **argv) {
    enum { order_option = 256, title_option };
    static const option long_options[] = {
        {"output", required_argument, nullptr, 'o'},     {"each-folder", optional_argument, nullptr, 'e'},
        {"files-from", required_argument, nullptr, 'T'}, {"null", no_argument, nullptr, '0'},
        {"order", required_argument, nullptr, order_option}, {"title", required_argument, nullptr, title_option},
        {"help", no_argument, nullptr, 'h'},             {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    Options options;
    opterr = 0;
    optind = 1;
    for (int option; options.status < 0 && (option = getopt_long(argc, argv, ":o:eT:0hV", long_options, nullptr)) != -1;) {
        switch (option) {
        case 'o':
            options.output = optarg;
            break;
        case 'e':
            options.each_folder = true;
            options.each_name = optarg;
            break;
        case 'T':
            options.lists.push_back(optarg);
            break;
        case '0':
            options.null = true;
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
    if (options.status < 0 && options.output != nullptr && options.each_folder) {
        fputs(both_outputs_message, stderr);
        options.status = 1;
    }
    options.operands.assign(argv + optind, argv + argc);
    return options;
}

// Appends the operands list names: one a line, a carriage return before the line feed
// dropped, empty lines and lines that begin with "#" (an M3U playlist's) left out; with
// null, names that end in NUL bytes, none left out. A relative one is taken from the list's
// folder, as M3U readers do ("-", standard input: from the working directory). False, with
// errno set, when the list cannot be read.
static bool read_list(const char *list, bool null, std::vector<std::string> &operands) {
    bool from_input = strcmp(list, "-") == 0;
    FILE *file = from_input ? stdin : fopen(list, "rb");
    if (file == nullptr)
        return false;
    std::string text;
    char block[64 * 1024];
    for (size_t got; (got = fread(block, 1, sizeof block, file)) > 0;)
        text.append(block, got);
    int error = ferror(file) ? errno : 0;
    if (!from_input)
        fclose(file);
    if (error != 0)
        return errno = error, false;
    std::filesystem::path folder = from_input ? std::filesystem::path() : std::filesystem::u8path(list).parent_path();
    char end = null ? '\0' : '\n';
    for (size_t start = 0; start < text.size();) {
        size_t stop = std::min(text.find(end, start), text.size());
        std::string name = text.substr(start, stop - start);
        start = stop + 1;
        if (!null && !name.empty() && name.back() == '\r')
            name.pop_back();
        if (name.empty() || (!null && name[0] == '#'))
            continue;
        if (!folder.empty() && is_relative(name))
            name = (folder / std::filesystem::u8path(name)).generic_u8string();
        operands.push_back(std::move(name));
    }
    return true;
}

int run(int argc, char **argv) {
    try {
        Options options = read_options(argc, argv);
        if (options.status >= 0)
            return options.status;
        const char *output = options.output;
        std::vector<std::string> &operands = options.operands;
        bool lists_read = true;
        for (const char *list : options.lists)
            if (!read_list(list, options.null, operands)) {
                fprintf(stderr, unreadable_list_message, printable(list).c_str(), strerror(errno));
                lists_read = false;
            }
        if (operands.empty() && options.lists.empty())
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
        // A folder's playlist holds its files, so they must follow each other.
        bool all_read = collect_media_files(operands, base != nullptr ? base : "", files,
                                            options.order == Order::tags || options.each_folder) &&
                        lists_read;
        av_log_set_level(AV_LOG_QUIET);
        if (options.each_folder) {
            int status = write_each_folder(files, options.order, options.each_name);
            if (status == 1 && all_read)
                fputs(no_media_message, stderr);
            return status == 0 && !all_read ? 1 : status;
        }
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
        int status = write_error_status(
            program, output != nullptr ? finish_output_file(stream, write_error) : 0);
        if (output == nullptr)
            status = close_output(stdout, program, write_error);
        return status == 0 && !all_read ? 1 : status;
    } catch (const std::bad_alloc &) {
        fputs(no_memory_message, stderr);
        return 2;
    }
}
