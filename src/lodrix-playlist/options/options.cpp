#include "options.h"

#include <errno.h>
#include <getopt.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "lodrix-playlist/lib/encoding/encoding.h"
#include "lodrix-playlist/options/selection_options.h"
#include "lodrix-playlist/lib/readers/channel.h"
#include "lodrix-playlist/lib/system/system.h"
#include "lodrix-playlist/lib/text/messages.h"
#include "lodrix-playlist/lib/text/text.h"
#include "lodrix-playlist/write/names.h"
#include "platform/platform.h"

// A message about a list's option begins with where it was given: "" on the command line,
// "FILE:LINE: " in a --lists file.
static const char unreadable_list_message[] = N_("%s: list cannot be read: %s");
static const char unknown_option_message[] = N_("unknown option %s (lodrix-playlist --help shows them all)");
static const char missing_value_message[] = N_("%s%s needs a value (lodrix-playlist --help shows them all)");
static const char wrong_order_message[] = N_("%s--order=%s: name or tags");
static const char both_orders_message[] = N_("%s--sort and --order together: one order");
static const char both_outputs_message[] = N_("-o and -e together: one list, or one in each folder");
static const char wrong_format_message[] = N_("%s--format=%s: xspf or m3u8");
static const char wrong_paths_message[] = N_("%s--paths=%s: auto, relative or absolute");
static const char wrong_prefix_message[] = N_("%s--prefix=%s: FROM=TO (such as /home/a/Music=/storage/sdcard1/Music)");
static const char unknown_name_field_message[] = N_("%s%s: %s is no field (such as {genre}, {year}, {albumartist})");
static const char unreadable_lists_message[] = N_("%s: lists cannot be read: %s");
static const char unclosed_line_quote_message[] = N_("%s:%zu: quotation mark not closed");
static const char trailing_backslash_message[] = N_("%s:%zu: \\ at the end of the line");
static const char not_a_list_option_message[] = N_(
    "%s%s: not an option of a list (--match, --sort, --order, --shuffle, --seed, --limit, "
    "--chapters, --title, --format, --paths, --prefix)");
static const char not_a_file_message[] = N_("%s%s: first the list's file, then its options");
static const char extra_word_message[] = N_("%s%s: after the list's file only its options");
static const char no_lists_message[] = N_("%s: no lists");
static const char lists_and_message[] = N_("--lists and %s together: a list's file and options stand in its line");
static const char wrong_encoding_message[] = N_("--encoding=%s: not an encoding known here (%s)");

enum {
    order_option = 256, title_option, chapters_option, match_option, sort_option, shuffle_option, seed_option,
    limit_option, format_option, paths_option, prefix_option, cache_option, no_cache_option, lists_option,
    encoding_option
};

// What shapes a list, on the command line and in a line of a --lists file alike.
static const option list_options[] = {
    {"order", required_argument, nullptr, order_option},   {"title", required_argument, nullptr, title_option},
    {"chapters", no_argument, nullptr, chapters_option},   {"match", required_argument, nullptr, match_option},
    {"sort", required_argument, nullptr, sort_option},     {"shuffle", optional_argument, nullptr, shuffle_option},
    {"seed", required_argument, nullptr, seed_option},     {"limit", required_argument, nullptr, limit_option},
    {"format", required_argument, nullptr, format_option}, {"paths", required_argument, nullptr, paths_option},
    {"prefix", required_argument, nullptr, prefix_option}, {nullptr, 0, nullptr, 0},
};

// A list's options as given, read once all are there.
struct ListOptions {
    SelectionOptions select;
    std::vector<const char *> prefixes;
    const char *order = nullptr, *title = nullptr, *format = nullptr, *paths = nullptr;
    bool chapters = false;
    std::string first; ///< the first of them, as given, "" for none
};

// Keeps the list option getopt found in options; false for another option.
static bool take_list_option(int found, ListOptions &options) {
    switch (found) {
    case order_option: options.order = optarg; break;
    case title_option: options.title = optarg; break;
    case chapters_option: options.chapters = true; break;
    case match_option: options.select.matches.push_back(optarg); break;
    case sort_option: options.select.sort = optarg; break;
    case shuffle_option: options.select.shuffle = optarg != nullptr ? optarg : "tracks"; break;
    case seed_option: options.select.seed = optarg; break;
    case limit_option: options.select.limit = optarg; break;
    case format_option: options.format = optarg; break;
    case paths_option: options.paths = optarg; break;
    case prefix_option: options.prefixes.push_back(optarg); break;
    default: return false;
    }
    for (const option &known : list_options)
        if (options.first.empty() && known.val == found)
            options.first = std::string("--") + known.name;
    return true;
}


static bool is_relative(const std::string &path) { return !std::filesystem::u8path(path).is_absolute(); }

// folder/path for a relative path and a folder; else path.
static std::string taken_from(const std::string &folder, const std::string &path) {
    if (folder.empty() || !is_relative(path))
        return path;
    return (std::filesystem::u8path(folder) / std::filesystem::u8path(path)).generic_u8string();
}

// Reads a list's options into list; relative prefixes are taken from folder. False after
// one message, with status the one to end with.
static bool read_list_options(const ListOptions &options, const char *where, const std::string &folder,
                              ListSettings &list, int &status) {
    status = 1;
    if (options.order != nullptr && strcmp(options.order, "name") != 0 && strcmp(options.order, "tags") != 0) {
        report(wrong_order_message, where, printable(options.order).c_str());
        return false;
    }
    if (options.order != nullptr)
        list.tracks.order = options.order[0] == 'n' ? Order::name : Order::tags;
    list.tracks.chapters = options.chapters;
    if (options.title != nullptr)
        list.write.title = options.title;
    const char *format = options.format;
    if (format != nullptr && strcmp(format, "xspf") != 0 && strcmp(format, "m3u8") != 0) {
        report(wrong_format_message, where, printable(format).c_str());
        return false;
    }
    if (format != nullptr)
        list.write.format = format[0] == 'x' ? Format::xspf : Format::m3u8;
    if (options.paths != nullptr && !parse_path_mode(options.paths, list.write.locations.paths)) {
        report(wrong_paths_message, where, printable(options.paths).c_str());
        return false;
    }
    for (const char *text : options.prefixes) {
        Prefix prefix;
        if (!parse_prefix(text, prefix)) {
            report(wrong_prefix_message, where, printable(text).c_str());
            return false;
        }
        prefix.from = taken_from(folder, prefix.from);
        list.write.locations.prefixes.push_back(std::move(prefix));
    }
    if (options.select.sort != nullptr && options.order != nullptr) {
        report(both_orders_message, where);
        return false;
    }
    return read_selection(options.select, where, list.select, status);
}

// The option getopt could not take, as given: "-x", or the long one up to its "=".
static void report_wrong_option(int option, char **argv, const char *where) {
    const char *argument = argv[optind - 1];
    std::string given = strncmp(argument, "--", 2) == 0 ? argument : std::string("-") + char(optopt);
    given = given.substr(0, given.find('='));
    if (option == ':')
        report(missing_value_message, where, printable(given).c_str());
    else if (where[0] != '\0')
        report(not_a_list_option_message, where, printable(given).c_str());
    else
        report(unknown_option_message, printable(given).c_str());
}

// One line of a --lists file as a list: the file, then the options that shape it.
static bool read_list_line(std::vector<char *> &argv, const char *where, const std::string &folder,
                           Settings &settings, int &status) {
    status = 1;
    if (argv[0][0] == '-') {
        report(not_a_file_message, where, printable(argv[0]).c_str());
        return false;
    }
    ListOptions options;
    int argc = int(argv.size()) - 1;
    optind = 0;
    for (int option; (option = getopt_long(argc, argv.data(), ":", list_options, nullptr)) != -1;)
        if (!take_list_option(option, options)) {
            report_wrong_option(option, argv.data(), where);
            return false;
        }
    if (optind < argc) {
        report(extra_word_message, where, printable(argv[optind]).c_str());
        return false;
    }
    ListSettings list;
    list.write.title = translated(default_title);
    list.write.one_of_many = true;
    settings.texts.push_back(taken_from(folder, argv[0]));
    list.write.output = settings.texts.back().c_str();
    std::vector<Field> fields;
    std::string unknown;
    if (!name_fields(argv[0], fields, unknown) || (options.title != nullptr && !name_fields(options.title, fields, unknown))) {
        report(unknown_name_field_message, where, printable(argv[0]).c_str(), printable(unknown).c_str());
        return false;
    }
    if (!read_list_options(options, where, folder, list, status))
        return false;
    settings.lists.push_back(std::move(list));
    return true;
}

// The lists of a --lists file into settings.lists; false after one message, with status the
// one to end with.
static bool read_lists(const char *file, Settings &settings, int &status) {
    status = 1;
    std::vector<ListLine> lines;
    size_t bad_line = 0;
    WordsError error;
    if (!read_lists_file(file, lines, bad_line, error)) {
        report(unreadable_lists_message, printable(file).c_str(), strerror(errno));
        return false;
    }
    if (error != WordsError::none) {
        report(error == WordsError::unclosed_quote ? unclosed_line_quote_message : trailing_backslash_message,
               printable(file).c_str(), bad_line);
        return false;
    }
    if (lines.empty()) {
        report(no_lists_message, printable(file).c_str());
        return false;
    }
    std::string folder =
        strcmp(file, "-") == 0 ? "" : std::filesystem::u8path(file).parent_path().generic_u8string();
    for (ListLine &line : lines) {
        std::string where = printable(file) + ":" + std::to_string(line.number) + ": ";
        std::vector<char *> argv;
        for (std::string &word : line.words) {
            settings.texts.push_back(std::move(word));
            argv.push_back(&settings.texts.back()[0]);
        }
        argv.push_back(nullptr);
        if (!read_list_line(argv, where.c_str(), folder, settings, status))
            return false;
    }
    return true;
}

// True where a list asks for its files' modification times.
static bool uses_mtime(const Selection &selection, const WriteSettings &write) {
    for (const Query &query : selection.queries)
        for (const QueryTerm &term : query)
            if (!term.any_field && term.field == Field::mtime)
                return true;
    for (const SortKey &key : selection.sort_keys)
        if (key.field == Field::mtime)
            return true;
    std::vector<Field> fields;
    std::string unknown;
    for (const char *name : {write.output, write.title})
        if (name != nullptr && name_fields(name, fields, unknown) &&
            std::find(fields.begin(), fields.end(), Field::mtime) != fields.end())
            return true;
    return false;
}

const char *reader_handles(int argc, char **argv) {
    size_t length = strlen(reader_option);
    return argc == 2 && strncmp(argv[1], reader_option, length) == 0 ? argv[1] + length : nullptr;
}

int read_options(int argc, char **argv, Settings &settings) {
    static const option general_options[] = {
        {"output", required_argument, nullptr, 'o'},     {"each-folder", optional_argument, nullptr, 'e'},
        {"files-from", required_argument, nullptr, 'T'}, {"null", no_argument, nullptr, '0'},
        {"cache", required_argument, nullptr, cache_option}, {"no-cache", no_argument, nullptr, no_cache_option},
        {"lists", required_argument, nullptr, lists_option},
        {"encoding", required_argument, nullptr, encoding_option},
        {"help", no_argument, nullptr, 'h'},             {"version", no_argument, nullptr, 'V'},
    };
    std::vector<option> long_options(std::begin(general_options), std::end(general_options));
    long_options.insert(long_options.end(), std::begin(list_options), std::end(list_options));
    settings = Settings();
    settings.write.title = translated(default_title);
    std::vector<const char *> lists;
    ListOptions options;
    const char *lists_file = nullptr;
    bool null = false;
    opterr = 0;
    optind = 1;
    for (int option; (option = getopt_long(argc, argv, ":o:eT:0hV", long_options.data(), nullptr)) != -1;) {
        switch (option) {
        case 'o': settings.write.output = optarg; break;
        case 'e':
            settings.write.each_folder = true;
            settings.write.each_name = optarg;
            break;
        case 'T': lists.push_back(optarg); break;
        case '0': null = true; break;
        case cache_option:
            settings.read.cache = true;
            settings.read.cache_file = optarg;
            break;
        case no_cache_option: settings.read.cache = false; break;
        case lists_option: lists_file = optarg; break;
        case encoding_option:
            if (!find_encoding(optarg, settings.read.encoding)) {
                report(wrong_encoding_message, printable(optarg).c_str(), encoding_names);
                return 1;
            }
            break;
        case 'h': return print_usage();
        case 'V': return print_version();
        default:
            if (!take_list_option(option, options)) {
                report_wrong_option(option, argv, "");
                return 1;
            }
        }
    }
    if (settings.write.output != nullptr && settings.write.each_folder) {
        report(both_outputs_message);
        return 1;
    }
    const char *with_lists = settings.write.output != nullptr ? "-o" : settings.write.each_folder ? "-e"
                             : !options.first.empty()         ? options.first.c_str()
                                                              : nullptr;
    if (lists_file != nullptr && with_lists != nullptr) {
        report(lists_and_message, with_lists);
        return 1;
    }
    std::vector<std::string> &operands = settings.walk.operands;
    operands.assign(argv + optind, argv + argc);
    for (const char *list : lists)
        if (!read_list(list, null, operands))
            report_error(unreadable_list_message, printable(list).c_str(), strerror(errno));
    if (operands.empty() && lists.empty())
        operands.push_back(".");
    // A query, key or line that cannot be read ends the run before anything is read or written.
    ListSettings one;
    one.write = settings.write;
    int status;
    if (!read_list_options(options, "", "", one, status))
        return status;
    settings.select = std::move(one.select);
    settings.write = one.write;
    settings.tracks = one.tracks;
    if (lists_file != nullptr && !read_lists(lists_file, settings, status))
        return status;
    // A folder's playlist holds its files, and an order of their own needs them together.
    bool by_tags = settings.tracks.order == Order::tags, times = uses_mtime(settings.select, settings.write);
    for (const ListSettings &list : settings.lists) {
        by_tags = by_tags || list.tracks.order == Order::tags;
        times = times || uses_mtime(list.select, list.write);
    }
    settings.tracks.by_folder = settings.walk.files_first = by_tags || settings.write.each_folder;
    // The run's tracks are split by chapters where every list wants that; else only for those
    // that do (write/lists.h).
    if (!settings.lists.empty())
        settings.tracks.chapters = std::all_of(settings.lists.begin(), settings.lists.end(),
                                               [](const ListSettings &list) { return list.tracks.chapters; });
    settings.walk.times = times;
    return go_on;
}
