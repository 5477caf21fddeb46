#pragma once

#include <string>
#include <vector>

/// How a playlist's tracks are ordered within each folder.
enum class Order { name, tags };

/// What the command line asks for.
struct Options {
    const char *output = nullptr; ///< -o: the one playlist file; null: standard output
    bool each_folder = false;     ///< -e: a playlist in every folder with media files
    const char *each_name = nullptr; ///< -e's NAME; null: after the folder
    Order order = Order::name;
    bool chapters = false;        ///< --chapters: a file with chapters as a track per chapter
    // The selection's options as given; the tracks stage reads them (tracks/select.h).
    std::vector<const char *> matches; ///< --match's queries
    const char *sort = nullptr;        ///< --sort's keys; null where not given
    const char *shuffle = nullptr;     ///< --shuffle's mode, "tracks" where none is given; null where not given
    const char *seed = nullptr;        ///< --seed; null where not given
    const char *limit = nullptr;       ///< --limit; null where not given
    const char *title;            ///< the playlist's own title
    /// The operands, those of -T lists after the others; "." where none is given at all.
    std::vector<std::string> operands;
    bool lists_read = true;       ///< false when a -T list could not be read (reported)
    bool cache = true;            ///< false: --no-cache, every file read, none kept
    const char *cache_file = nullptr; ///< --cache: the readings' database; null: the default place
};

/// The playlist's title where --title gives none.
extern const char default_title[];

/// The status to end with at once, or go_on.
const int go_on = -1;

/// Reads the command line by GNU rules (short options grouped, a long one with =VALUE or the
/// next argument, "--" ends them, operands anywhere) into options, and the -T lists it names.
/// Returns go_on, or the status to end with: 0 after --help or --version (printed), 1 after
/// a wrong option (one line on standard error), 2 when printing failed.
int read_options(int argc, char **argv, Options &options);
