#include "selection_options.h"

#include <errno.h>

#include <string>

#include "lodrix-playlist/lib/system/system.h"
#include "lodrix-playlist/lib/text/messages.h"
#include "lodrix-playlist/lib/text/text.h"
#include "platform/platform.h"

static const char unknown_field_message[] = N_(
    "%s--match: %s: unknown field (title, artist, albumartist, album, genre, composer, year, track, "
    "disc, length, path, mtime)");
static const char not_numbers_message[] = N_(
    "%s--match: %s: no number and no range (such as year:1970..1989, length:3m..5m, mtime:-30d..)");
static const char unclosed_quote_message[] = N_("%s--match: %s: quotation mark not closed");
static const char empty_term_message[] = N_("%s--match: %s: no term after %s");
static const char empty_query_message[] = N_("%s--match: %s: no query before or after it");
static const char bad_pattern_message[] = N_("%s--match: %s: not a regular expression: %s");
static const char unknown_key_message[] = N_(
    "%s--sort: %s: unknown field (title, artist, albumartist, album, genre, composer, year, track, "
    "disc, length, path, mtime; -FIELD descending)");
static const char wrong_shuffle_message[] = N_("%s--shuffle=%s: tracks, albums or spread");
static const char wrong_seed_message[] = N_("%s--seed=%s: not a number from 0 to 18446744073709551615");
static const char wrong_limit_message[] = N_("%s--limit=%s: neither a count nor a duration (such as 20, 90m, 1h30m, 3:30)");

bool read_selection(const SelectionOptions &options, const char *where, Selection &selection, int &status) {
    selection = Selection();
    status = 1;
    // Relative paths in a query are taken from the working directory as -p forms it.
    const char *working = options.matches.empty() ? nullptr : working_directory();
    int working_error = errno;
    std::string base = working != nullptr ? working : "";
    for (const char *text : options.matches) {
        std::string term, reason;
        QueryError error = parse_query(text, base, selection.queries, term, reason);
        if (error == QueryError::no_working_directory) {
            errno = working_error;
            status = no_directory_status();
            return false;
        }
        if (error == QueryError::bad_pattern) {
            report(bad_pattern_message, where, printable(term).c_str(), printable(reason).c_str());
            return false;
        }
        if (error != QueryError::none) {
            const char *message = error == QueryError::unknown_field    ? unknown_field_message
                                  : error == QueryError::not_numbers    ? not_numbers_message
                                  : error == QueryError::unclosed_quote ? unclosed_quote_message
                                  : error == QueryError::empty_query    ? empty_query_message
                                                                        : empty_term_message;
            report(message, where, printable(term).c_str(), printable(term).c_str());
            return false;
        }
    }
    std::string key;
    if (options.sort != nullptr && !parse_sort_keys(options.sort, selection.sort_keys, key)) {
        report(unknown_key_message, where, printable(key).c_str());
        return false;
    }
    if (options.shuffle != nullptr && !parse_shuffle_mode(options.shuffle, selection.shuffle)) {
        report(wrong_shuffle_message, where, printable(options.shuffle).c_str());
        return false;
    }
    if (options.seed != nullptr && !parse_number(options.seed, selection.seed)) {
        report(wrong_seed_message, where, printable(options.seed).c_str());
        return false;
    }
    if (options.limit != nullptr && !parse_limit(options.limit, selection.limit)) {
        report(wrong_limit_message, where, printable(options.limit).c_str());
        return false;
    }
    if (selection.shuffle != ShuffleMode::none && options.seed == nullptr)
        selection.seed = random_seed();
    return true;
}
