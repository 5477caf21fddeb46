#pragma once

#include <stdint.h>

#include <string>

// The dates an mtime term takes, in local time: a date to the year, month, day, hour, minute
// or second ("2024", "2024-03", "2024-03-15", "2024-03-15T10:30", also with a blank for the
// T) stands for its whole span; a relative date ("-30d", "-2w", "-1m", "-1y", "+1d": days,
// weeks, calendar months and years from today) for its whole day.

/// Reads DATE, DATE..DATE, DATE.. or ..DATE into the first and last second they cover, in
/// seconds since 1970 (a date before 1970 counts from 0). False when it is none of these.
bool parse_date_range(const std::string &text, uint64_t &low, uint64_t &high);

/// The same, with relative dates counted from the day of now (seconds since 1970).
bool parse_date_range_at(const std::string &text, int64_t now, uint64_t &low, uint64_t &high);

/// seconds since 1970 as their local date: "2024-03-15".
std::string local_date(int64_t seconds);
