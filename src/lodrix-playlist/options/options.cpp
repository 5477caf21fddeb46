#include "options.h"

#include <errno.h>
#include <getopt.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "lodrix-playlist/text/text.h"
#include "platform/platform.h"

static const char program[] = "lodrix-playlist";
const char default_title[] = "Wiedergabeliste";
static const char unreadable_list_message[] = "lodrix-playlist: %s: Liste nicht lesbar: %s\n";

static bool is_relative(const std::string &path) { return !std::filesystem::u8path(path).is_absolute(); }

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
"      --chapters           eine Datei mit zwei oder mehr Kapiteln als ein Titel je Kapitel\n"
"      --match=ANFRAGE      nur die Titel, auf die ANFRAGE passt (mehrmals: auf eine davon);\n"
"                           ihre Begriffe, durch Leerzeichen getrennt, muessen alle passen:\n"
"                             FELD:TEXT   FELD enthaelt TEXT, in jeder Schreibweise\n"
"                             FELD:=TEXT  FELD ist TEXT, in jeder Schreibweise\n"
"                             FELD:N, FELD:VON..BIS, FELD:VON.., FELD:..BIS  fuer year,\n"
"                                         track, disc und length (90, 1h2m3s, 4m, 3:30)\n"
"                             TEXT        in title, artist, albumartist, album oder path\n"
"                           ^ davor verneint einen Begriff, \"...\" fasst Leerzeichen ein;\n"
"                           FELDer: title artist albumartist album genre composer year\n"
"                           track disc length path\n"
"      --sort=FELD[,FELD]...  die ganze Liste nach diesen FELDern, -FELD absteigend; Titel\n"
"                           ohne das Feld zuletzt (nicht mit --order)\n"
"      --shuffle[=tracks|albums|spread]  zufaellig mischen: jede Reihenfolge (tracks,\n"
"                           Vorgabe), ganze Alben (albums), ein Interpret nie zweimal\n"
"                           nacheinander, wo es geht (spread)\n"
"      --seed=N             mit derselben Zahl N dieselbe Mischung\n"
"      --limit=N|DAUER      nur die ersten N Titel, oder der Reihe nach jeden, der noch in\n"
"                           DAUER passt (90m, 2h, 1h30m, 45s)\n"
"      --title=TEXT         der Titel der Liste (Vorgabe: Wiedergabeliste)\n"
"      --cache=DATEI        gelesene Dateien in DATEI merken (Vorgabe:\n"
"                           $XDG_CACHE_HOME/lodrix/readings.sqlite, sonst\n"
"                           ~/.cache/lodrix/readings.sqlite; Windows:\n"
"                           %LOCALAPPDATA%\\lodrix\\readings.sqlite)\n"
"      --no-cache           jede Datei lesen, nichts merken\n"
"  -h, --help               diese Hilfe zeigen\n"
"  -V, --version            die Version zeigen\n"
"\n"
"Die Schritte: lesen, --match, --sort oder --order, --shuffle, --limit, schreiben; mit -e\n"
"fuer die Liste jedes Ordners.\n"
"\n"
"Gemerkt wird je Datei, was das Lesen ergab, unter ihrem Pfad, Geraet, Inode, Groesse,\n"
"Aenderungs- und Statuszeit und der Version des Lesens: weicht eines ab, wird sie neu\n"
"gelesen. Leeren: die Datei loeschen.\n"
"\n"
"Status: 0 geschrieben; 1 falsche Option oder Anfrage, Operand fehlt oder keine Mediendatei;\n"
"2 Schreibfehler; 3 kein aktuelles Verzeichnis.\n";
static const char version_text[] = "lodrix-playlist 2.1\n";
static const char unknown_option_message[] = "lodrix-playlist: unbekannte Option %s (lodrix-playlist --help zeigt alle)\n";
static const char missing_value_message[] = "lodrix-playlist: %s braucht einen Wert (lodrix-playlist --help zeigt alle)\n";
static const char wrong_order_message[] = "lodrix-playlist: --order=%s: name oder tags\n";
static const char both_orders_message[] = "lodrix-playlist: --sort und --order zugleich: eine Reihenfolge\n";
static const char both_outputs_message[] = "lodrix-playlist: -o und -e zugleich: eine Liste oder eine je Ordner\n";

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

int read_options(int argc, char **argv, Options &options) {
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
    options = Options();
    options.title = default_title;
    std::vector<const char *> lists;
    bool null = false, order_given = false;
    opterr = 0;
    optind = 1;
    for (int option; (option = getopt_long(argc, argv, ":o:eT:0hV", long_options, nullptr)) != -1;) {
        switch (option) {
        case 'o':
            options.output = optarg;
            break;
        case 'e':
            options.each_folder = true;
            options.each_name = optarg;
            break;
        case 'T':
            lists.push_back(optarg);
            break;
        case '0':
            null = true;
            break;
        case order_option:
            if (strcmp(optarg, "name") != 0 && strcmp(optarg, "tags") != 0) {
                fprintf(stderr, wrong_order_message, printable(optarg).c_str());
                return 1;
            }
            options.order = optarg[0] == 'n' ? Order::name : Order::tags;
            order_given = true;
            break;
        case match_option:
            options.matches.push_back(optarg);
            break;
        case sort_option:
            options.sort = optarg;
            break;
        case shuffle_option:
            options.shuffle = optarg != nullptr ? optarg : "tracks";
            break;
        case seed_option:
            options.seed = optarg;
            break;
        case limit_option:
            options.limit = optarg;
            break;
        case chapters_option:
            options.chapters = true;
            break;
        case title_option:
            options.title = optarg;
            break;
        case cache_option:
            options.cache = true;
            options.cache_file = optarg;
            break;
        case no_cache_option:
            options.cache = false;
            break;
        case 'h':
            fputs(usage_text, stdout);
            return close_output(stdout, program, 0);
        case 'V':
            fputs(version_text, stdout);
            return close_output(stdout, program, 0);
        default: {
            // The option as given: "-x", or the long one up to its "=".
            const char *argument = argv[optind - 1];
            std::string given = strncmp(argument, "--", 2) == 0 ? argument : std::string("-") + char(optopt);
            given = given.substr(0, given.find('='));
            fprintf(stderr, option == ':' ? missing_value_message : unknown_option_message, printable(given).c_str());
            return 1;
        }
        }
    }
    if (options.sort != nullptr && order_given) {
        fputs(both_orders_message, stderr);
        return 1;
    }
    if (options.output != nullptr && options.each_folder) {
        fputs(both_outputs_message, stderr);
        return 1;
    }
    options.operands.assign(argv + optind, argv + argc);
    for (const char *list : lists)
        if (!read_list(list, null, options.operands)) {
            fprintf(stderr, unreadable_list_message, printable(list).c_str(), strerror(errno));
            options.lists_read = false;
        }
    if (options.operands.empty() && lists.empty())
        options.operands.push_back(".");
    return go_on;
}
