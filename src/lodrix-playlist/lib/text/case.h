#pragma once

#include <string>

// Case and accents as Unicode folds them (utf8proc), for comparing and sorting without them.

/// The text in Unicode's case folding (NFKC_Casefold), for comparing without case: a text
/// that is not UTF-8 read as the playlist writes a tag (Windows-1252).
std::string case_folded(const std::string &text);

/// The text case-folded without its marks (accents): the letters it sorts by first.
std::string base_letters(const std::string &text);
