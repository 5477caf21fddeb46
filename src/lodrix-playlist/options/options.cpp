#include "options.h"

#include <errno.h>
#include <getopt.h>
#include <string.h>

#include <string>
#include <vector>

#include "lodrix-playlist/lib/readers/channel.h"
#include "lodrix-playlist/lib/system/system.h"
#include "lodrix-playlist/lib/text/messages.h"
#include "lodrix-playlist/lib/text/text.h"

static const char unreadable_list_message[] = "%s: Liste nicht lesbar: %s";
static const char unknown_option_message[] = "unbekannte Option %s (lodrix-playlist --help zeigt alle)";
static const char missing_value_message[] = "%s braucht einen Wert (lodrix-playlist --help zeigt alle)";
static const char wrong_order_message[] = "--order=%s: name oder tags";
static const char both_orders_message[] = "--sort und --order zugleich: eine Reihenfolge";
static const char both_outputs_message[] = "-o und -e zugleich: eine Liste oder eine je Ordner";
static const char unknown_field_message[] =
    "--match: %s: unbekanntes Feld (title, artist, albumartist, album, genre, composer, year, "
    "track, disc, length, path)";
static const char not_numbers_message[] =
    "--match: %s: keine Zahl und keine Spanne (etwa year:1970..1989, length:3m..5m)";
static const char unclosed_quote_message[] = "--match: %s: Anfuehrungszeichen nicht geschlossen";
static const char empty_term_message[] = "--match: %s: kein Begriff nach ^";
static const char unknown_key_message[] =
    "--sort: %s: unbekanntes Feld (title, artist, albumartist, album, genre, composer, year, "
    "track, disc, length, path; -FELD absteigend)";
static const char wrong_shuffle_message[] = "--shuffle=%s: tracks, albums oder spread";
static const char wrong_seed_message[] = "--seed=%s: keine Zahl von 0 bis 18446744073709551615";
static const char wrong_limit_message[] = "--limit=%s: weder Anzahl noch Dauer (etwa 20, 90m, 1h30m, 3:30)";


// The selection's options as given, read once all are there.
struct SelectionOptions {
    std::vector<const char *> matches; ///< --match's queries
    const char *sort = nullptr;        ///< --sort's keys; null where not given
    const char *shuffle = nullptr;     ///< --shuffle's mode, "tracks" where none is given; null where not given
    const char *seed = nullptr;        ///< --seed; null where not given
    const char *limit = nullptr;       ///< --limit; null where not given
};

static bool read_selection(const SelectionOptions &options, Selection &selection) {
    selection = Selection();
    for (const char *text : options.matches) {
        Query query;
        std::string term;
        QueryError error = parse_query(text, query, term);
        if (error != QueryError::none) {
            const char *message = error == QueryError::unknown_field  ? unknown_field_message
                                  : error == QueryError::not_numbers  ? not_numbers_message
                                  : error == QueryError::unclosed_quote ? unclosed_quote_message
                                                                        : empty_term_message;
            report(message, printable(term).c_str());
            return false;
        }
        selection.queries.push_back(std::move(query));
    }
    std::string key;
    if (options.sort != nullptr && !parse_sort_keys(options.sort, selection.sort_keys, key)) {
        report(unknown_key_message, printable(key).c_str());
        return false;
    }
    if (options.shuffle != nullptr && !parse_shuffle_mode(options.shuffle, selection.shuffle)) {
        report(wrong_shuffle_message, printable(options.shuffle).c_str());
        return false;
    }
    if (options.seed != nullptr && !parse_number(options.seed, selection.seed)) {
        report(wrong_seed_message, printable(options.seed).c_str());
        return false;
    }
    if (options.limit != nullptr && !parse_limit(options.limit, selection.limit)) {
        report(wrong_limit_message, printable(options.limit).c_str());
        return false;
    }
    if (selection.shuffle != ShuffleMode::none && options.seed == nullptr)
        selection.seed = random_seed();
    return true;
}


const char *reader_handles(int argc, char **argv) {
    size_t length = strlen(reader_option);
    return argc == 2 && strncmp(argv[1], reader_option, length) == 0 ? argv[1] + length : nullptr;
}

int read_options(int argc, char **argv, Settings &settings) {
    enum {
        order_option = 256, title_option, chapters_option, match_option, sort_option, shuffle_option, seed_option,
        limit_option, cache_option, no_cache_option
    };
    static const option long_options[] = {
        {"output", required_argument, nullptr, 'o'},     {"each-folder", optional_argument, nullptr, 'e'},
        {"files-from", required_argument, nullptr, 'T'}, {"null", no_argument, nullptr, '0'},
        {"order", required_argument, nullptr, order_option}, {"title", required_argument, nullptr, title_option},
        {"chapters", no_argument, nullptr, chapters_option},
        {"match", required_argument, nullptr, match_option}, {"sort", required_argument, nullptr, sort_option},
        {"shuffle", optional_argument, nullptr, shuffle_option}, {"seed", required_argument, nullptr, seed_option},
        {"limit", required_argument, nullptr, limit_option},
        {"cache", required_argument, nullptr, cache_option}, {"no-cache", no_argument, nullptr, no_cache_option},
        {"help", no_argument, nullptr, 'h'},             {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    settings = Settings();
    settings.write.title = default_title;
    std::vector<const char *> lists;
    SelectionOptions selection;
    bool null = false, order_given = false;
    opterr = 0;
    optind = 1;
    for (int option; (option = getopt_long(argc, argv, ":o:eT:0hV", long_options, nullptr)) != -1;) {
        switch (option) {
        case 'o':
            settings.write.output = optarg;
            break;
        case 'e':
            settings.write.each_folder = true;
            settings.write.each_name = optarg;
            break;
        case 'T':
            lists.push_back(optarg);
            break;
        case '0':
            null = true;
            break;
        case order_option:
            if (strcmp(optarg, "name") != 0 && strcmp(optarg, "tags") != 0) {
                report(wrong_order_message, printable(optarg).c_str());
                return 1;
            }
            settings.tracks.order = optarg[0] == 'n' ? Order::name : Order::tags;
            order_given = true;
            break;
        case match_option:
            selection.matches.push_back(optarg);
            break;
        case sort_option:
            selection.sort = optarg;
            break;
        case shuffle_option:
            selection.shuffle = optarg != nullptr ? optarg : "tracks";
            break;
        case seed_option:
            selection.seed = optarg;
            break;
        case limit_option:
            selection.limit = optarg;
            break;
        case chapters_option:
            settings.tracks.chapters = true;
            break;
        case title_option:
            settings.write.title = optarg;
            break;
        case cache_option:
            settings.read.cache = true;
            settings.read.cache_file = optarg;
            break;
        case no_cache_option:
            settings.read.cache = false;
            break;
        case 'h':
            return print_usage();
        case 'V':
            return print_version();
        default: {
            // The option as given: "-x", or the long one up to its "=".
            const char *argument = argv[optind - 1];
            std::string given = strncmp(argument, "--", 2) == 0 ? argument : std::string("-") + char(optopt);
            given = given.substr(0, given.find('='));
            if (option == ':')
                report(missing_value_message, printable(given).c_str());
            else
                report(unknown_option_message, printable(given).c_str());
            return 1;
        }
        }
    }
    if (selection.sort != nullptr && order_given) {
        report(both_orders_message);
        return 1;
    }
    if (settings.write.output != nullptr && settings.write.each_folder) {
        report(both_outputs_message);
        return 1;
    }
    std::vector<std::string> &operands = settings.walk.operands;
    operands.assign(argv + optind, argv + argc);
    for (const char *list : lists)
        if (!read_list(list, null, operands))
            report_error(unreadable_list_message, printable(list).c_str(), strerror(errno));
    if (operands.empty() && lists.empty())
        operands.push_back(".");
    // A folder's playlist holds its files, and an order of their own needs them together.
    settings.tracks.by_folder = settings.walk.files_first =
        settings.tracks.order == Order::tags || settings.write.each_folder;
    // A query or key that cannot be read ends the run before anything is read or written.
    return read_selection(selection, settings.select) ? go_on : 1;
}
