#pragma once

#include <string>

// Text every stage shows or compares: printable messages, natural order, case (case.h),
// the media extensions (extensions.h) and the messages (messages.h).

/// The text with its control characters as "?", so that a message names it on one line.
std::string printable(std::string text);

/// Natural order: digit runs compare as numbers, letters in any case, other bytes as they are.
bool natural_less(const std::string &name, const std::string &other);

/// The text with A to Z in lower case.
std::string lowercase(std::string text);
