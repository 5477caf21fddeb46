#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "fields.h"

// --match's query language: terms read from text (parse_query), matched against a track.

/// One term of a query.
struct QueryTerm {
    enum Kind {
        contains, ///< field holds text, in any case
        equals,   ///< field is text, in any case
        range,    ///< field's number is from low to high
        anywhere, ///< title, artist, album artist, album or path holds text
    } kind = anywhere;
    Field field = Field::title; ///< not read for anywhere
    bool negated = false;       ///< "^" before the term: a track matches where the term does not
    std::string text;                    ///< case-folded, for every kind but range
    uint64_t low = 0, high = UINT64_MAX; ///< for range; whole seconds for length
};

/// Terms a track must all match.
using Query = std::vector<QueryTerm>;

/// Why a query could not be read.
enum class QueryError { none, unknown_field, not_numbers, unclosed_quote, empty_term };

/// Reads a query (terms separated by blanks; "^" before one negates it; double quotes hold
/// blanks). QueryError::none, or the error and in term the term that could not be read.
QueryError parse_query(const std::string &text, Query &query, std::string &term);

/// True where query keeps track; files gives its path.
bool matches(const Query &query, const Track &track, const MediaFiles &files);
