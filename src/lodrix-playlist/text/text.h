#pragma once

#include <string>

// Text helpers every stage uses; no stage of its own.

/// The text with its control characters as "?", so that a message names it on one line.
std::string printable(std::string text);

/// Natural order: digit runs compare as numbers, letters in any case, other bytes as they are.
bool natural_less(const std::string &name, const std::string &other);

/// The text with A to Z in lower case.
std::string lowercase(std::string text);

/// The text after the last "." of a name or path's last part, in lower case; "" without one.
std::string lowercase_extension(const std::string &name);
