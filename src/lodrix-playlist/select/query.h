#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "fields.h"
#include "pattern.h"

// --match's query language: queries read from text (parse_query), each a list of terms,
// matched against a track.

/// One term of a query.
struct QueryTerm {
    enum Kind {
        contains,  ///< the field holds text, in any case
        equals,    ///< the field is text, in any case ("": the track has none)
        identical, ///< the field is text, byte for byte ("": the track has none)
        pattern,   ///< the regular expression matches somewhere in the field
        range,     ///< the field's number is from low to high
        in_path,   ///< the file is text, or lies below the folder text
    } kind = contains;
    Field field = Field::title;
    bool any_field = false; ///< for contains and pattern: title, artist, album artist, album, genre or composer
    bool negated = false;   ///< "^" or "-" before the term: a track matches where the term does not
    /// Case-folded for contains and equals; for in_path an absolute path, case-folded where
    /// the file system ignores case, "" where it cannot be formed (it matches nothing).
    std::string text;
    uint64_t low = 0, high = UINT64_MAX; ///< for range; length in ms
    Pattern expression;                  ///< for pattern
};

/// Terms a track must all match.
using Query = std::vector<QueryTerm>;

/// Why a query could not be read.
enum class QueryError {
    none, unknown_field, not_numbers, unclosed_quote, empty_term, empty_query, bad_pattern, no_working_directory
};

/// Reads a query as beets does: terms separated by blanks, "^" or "-" before one negates it,
/// double quotes hold blanks, a backslash makes the character after it literal (a blank, the
/// backslash and " : , ^ - = ~; before any other it is itself), and a "," standing alone
/// separates queries, of which a track must match one. Appends each query to queries. base:
/// the working directory, where relative paths are taken from; "" where it cannot be had.
/// QueryError::none, or the error, the term that could not be read in term and, for a bad
/// pattern, PCRE2's reason.
QueryError parse_query(const std::string &text, const std::string &base, std::vector<Query> &queries,
                       std::string &term, std::string &reason);

/// True where query keeps track; files gives its path.
bool matches(const Query &query, const Track &track, const MediaFiles &files);
