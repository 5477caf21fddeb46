#include "dates.h"

#include <time.h>

#include <string>

// count digits of text at at, as a number.
static bool digits_at(const std::string &text, size_t at, size_t count, int &value) {
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// A relative date's day: now's day moved by [+-]N days, weeks, months or years. next is the
// field that moves to the day after.
static bool relative_day(const std::string &text, int64_t now, tm &date, int *&next) {
    size_t unit = text.size() - 1;
    int count;
    if (text.size() < 3 || unit > 6 || !digits_at(text, 1, unit - 1, count))
        return false;
    time_t moment = time_t(now);
    const tm *local = localtime(&moment);
    if (local == nullptr)
        return false;
    date = *local;
    date.tm_hour = date.tm_min = date.tm_sec = 0;
    int by = text[0] == '-' ? -count : count;
    switch (text[unit]) {
    case 'd': date.tm_mday += by; break;
    case 'w': date.tm_mday += 7 * by; break;
    case 'm': date.tm_mon += by; break;
    case 'y': date.tm_year += by; break;
    default: return false;
    }
    next = &date.tm_mday;
    return true;
}

// YYYY[-MM[-DD[(T| )HH[:MM[:SS]]]]]; next is the field of its last part.
static bool absolute_date(const std::string &text, tm &date, int *&next) {
    // Where each part begins, the separator before it, and its field.
    static const struct {
        size_t at;
        const char *separators;
        int low, high;
    } parts[] = {{0, "", 1, 9999}, {5, "-", 1, 12}, {8, "-", 1, 31}, {11, "T ", 0, 23}, {14, ":", 0, 59}, {17, ":", 0, 59}};
    int *fields[] = {&date.tm_year, &date.tm_mon, &date.tm_mday, &date.tm_hour, &date.tm_min, &date.tm_sec};
    date = tm();
    date.tm_mday = 1;
    size_t count = 0;
    for (const auto &part : parts) {
        if (text.size() == part.at - (count > 0))
            break;
        int value;
        if ((count > 0 && std::string(part.separators).find(text[part.at - 1]) == std::string::npos) ||
            !digits_at(text, part.at, count == 0 ? 4 : 2, value) || value < part.low || value > part.high)
            return false;
        *fields[count++] = value;
    }
    if (count == 0 || text.size() != parts[count - 1].at + (count == 1 ? 4 : 2))
        return false;
    date.tm_year -= 1900;
    date.tm_mon -= count > 1 ? 1 : 0;
    next = fields[count - 1];
    return true;
}

// The first second of one date and the first second after it.
static bool date_span(const std::string &text, int64_t now, int64_t &start, int64_t &end) {
    tm date;
    int *next = nullptr;
    bool relative = !text.empty() && (text[0] == '-' || text[0] == '+');
    if (relative ? !relative_day(text, now, date, next) : !absolute_date(text, date, next))
        return false;
    int year = date.tm_year, month = date.tm_mon, day = date.tm_mday;
    date.tm_isdst = -1;
    start = int64_t(mktime(&date));
    // A day the month does not have (2023-02-30) is none.
    if (!relative && (date.tm_year != year || date.tm_mon != month || date.tm_mday != day))
        return false;
    ++*next;
    date.tm_isdst = -1;
    end = int64_t(mktime(&date));
    return true;
}

bool parse_date_range_at(const std::string &text, int64_t now, uint64_t &low, uint64_t &high) {
    size_t dots = text.find("..");
    std::string first = dots == std::string::npos ? text : text.substr(0, dots);
    std::string last = dots == std::string::npos ? text : text.substr(dots + 2);
    if (first.empty() && last.empty())
        return false;
    int64_t start = 0, end = 0, ignored;
    if ((!first.empty() && !date_span(first, now, start, ignored)) || (!last.empty() && !date_span(last, now, ignored, end)))
        return false;
    low = start > 0 ? uint64_t(start) : 0;
    high = last.empty() ? UINT64_MAX : end > 0 ? uint64_t(end - 1) : 0;
    return true;
}

bool parse_date_range(const std::string &text, uint64_t &low, uint64_t &high) {
    return parse_date_range_at(text, int64_t(time(nullptr)), low, high);
}

std::string local_date(int64_t seconds) {
    time_t moment = time_t(seconds);
    const tm *local = localtime(&moment);
    char text[32];
    if (local == nullptr || strftime(text, sizeof text, "%Y-%m-%d", local) == 0)
        return "";
    return text;
}
