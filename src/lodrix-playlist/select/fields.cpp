#include "fields.h"

#include <algorithm>

#include "lodrix-playlist/lib/text/case.h"
#include "lodrix-playlist/select/dates.h"
#include "xspf/xspf.h"

static const struct {
    const char *name;
    Field field;
} field_names[] = {
    {"title", Field::title}, {"artist", Field::artist}, {"albumartist", Field::album_artist},
    {"album", Field::album}, {"genre", Field::genre},   {"composer", Field::composer},
    {"year", Field::year},   {"track", Field::track},   {"disc", Field::disc},
    {"length", Field::length}, {"path", Field::path},   {"mtime", Field::mtime},
};

bool field_named(const std::string &name, Field &field) {
    for (const auto &known : field_names)
        if (name == known.name) {
            field = known.field;
            return true;
        }
    return false;
}

bool is_number_field(Field field) {
    return field == Field::year || field == Field::track || field == Field::disc || field == Field::length ||
           field == Field::mtime;
}

static bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool parse_number(const std::string &text, uint64_t &number) {
    if (text.empty())
        return false;
    number = 0;
    for (char c : text) {
        if (!is_digit(c) || number > (UINT64_MAX - uint64_t(c - '0')) / 10)
            return false;
        number = number * 10 + uint64_t(c - '0');
    }
    return true;
}

static bool add_product(uint64_t &total, uint64_t number, uint64_t factor) {
    if (number > (UINT64_MAX - total) / factor)
        return false;
    total += number * factor;
    return true;
}

bool parse_duration(const std::string &text, uint64_t &seconds) {
    if (parse_number(text, seconds))
        return true;
    seconds = 0;
    if (text.find(':') != std::string::npos) {
        // [h:]m:ss, the parts after the first of one or two digits, below 60.
        for (size_t start = 0, parts = 1;; ++parts) {
            size_t colon = std::min(text.find(':', start), text.size());
            std::string digits = text.substr(start, colon - start);
            uint64_t part;
            if (parts > 3 || !parse_number(digits, part) || (parts > 1 && (digits.size() > 2 || part >= 60)) ||
                seconds > (UINT64_MAX - part) / 60)
                return false;
            seconds = seconds * 60 + part;
            if (colon == text.size())
                return true;
            start = colon + 1;
        }
    }
    // Numbers with h, m and s after them, in that order, each at most once.
    static const struct {
        char unit;
        uint64_t factor;
    } units[] = {{'h', 3600}, {'m', 60}, {'s', 1}};
    size_t position = 0, unit = 0;
    while (position < text.size()) {
        size_t digits = position;
        while (digits < text.size() && is_digit(text[digits]))
            ++digits;
        if (digits == position || digits == text.size())
            return false;
        while (unit < 3 && units[unit].unit != text[digits])
            ++unit;
        uint64_t number;
        if (unit == 3 || !parse_number(text.substr(position, digits - position), number) ||
            !add_product(seconds, number, units[unit].factor))
            return false;
        ++unit;
        position = digits + 1;
    }
    return position > 0;
}

bool parse_length(const std::string &text, uint64_t &ms, uint64_t &unit) {
    size_t dot = text.find('.'), digits = dot + 1;
    uint64_t seconds, fraction = 0;
    unit = 1000;
    if (dot != std::string::npos) {
        // The decimals end the seconds: the text, or all but a last "s".
        while (digits < text.size() && is_digit(text[digits]))
            ++digits;
        std::string after = text.substr(digits);
        if (dot == 0 || !is_digit(text[dot - 1]) || digits == dot + 1 || (after != "" && after != "s"))
            return false;
        for (size_t i = dot + 1; i < digits && unit > 1; ++i) {
            unit /= 10;
            fraction += uint64_t(text[i] - '0') * unit;
        }
    }
    if (!parse_duration(text.substr(0, dot) + (dot != std::string::npos ? text.substr(digits) : ""), seconds) ||
        seconds > (UINT64_MAX - 999) / 1000)
        return false;
    ms = seconds * 1000 + fraction;
    return true;
}

// A tag as the playlist shows it: printable ASCII as it is, anything else as tag_as_utf8 reads it.
static std::string shown_tag(const std::string &tag) {
    if (std::all_of(tag.begin(), tag.end(), [](char c) { return (c >= 0x20 && c < 0x7F) || c == '\t'; }))
        return tag;
    static char shown[most_tag_bytes + 1];
    return std::string(shown, tag_as_utf8(tag.c_str(), shown));
}

// The tag a text field reads; null for the path.
static const std::string *field_tag(const Tags &tags, Field field) {
    switch (field) {
    case Field::title: return &tags.title;
    case Field::artist: return tags.artist.empty() ? &tags.album_artist : &tags.artist;
    case Field::album_artist: return &tags.album_artist;
    case Field::album: return &tags.album;
    case Field::genre: return &tags.genre;
    case Field::composer: return &tags.composer;
    default: return nullptr;
    }
}

std::string folded_field(const Track &track, Field field, const MediaFiles &files) {
    return case_folded(shown_field(track, field, files));
}

uint64_t number_field(const Track &track, Field field) {
    switch (field) {
    case Field::year: return track.tags.year;
    case Field::track: return track.tags.track;
    case Field::disc: return track.tags.disc;
    default: return track.end_ms > track.start_ms ? uint64_t(track.end_ms - track.start_ms) : 0;
    }
}

uint64_t number_field(const Track &track, Field field, const MediaFiles &files) {
    if (field != Field::mtime)
        return number_field(track, field);
    return track.file < files.modified.size() && files.modified[track.file] > 0 ? uint64_t(files.modified[track.file]) : 0;
}

std::string shown_field(const Track &track, Field field, const MediaFiles &files) {
    if (field == Field::path)
        return media_file_path(files, track.file);
    if (field == Field::mtime) {
        uint64_t seconds = number_field(track, field, files);
        return seconds > 0 ? local_date(int64_t(seconds)) : "";
    }
    if (is_number_field(field)) {
        uint64_t number = number_field(track, field);
        return number == 0 ? "" : std::to_string(field == Field::length ? number / 1000 : number);
    }
    return shown_tag(*field_tag(track.tags, field));
}
