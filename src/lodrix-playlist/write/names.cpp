#include "lodrix-playlist/write/names.h"

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lodrix-playlist/lib/text/text.h"

static const size_t longest_value = 200;

// Calls found(start, end, field name) for each "{NAME}" of name, NAME letters only; stops at
// the first call that returns false.
template <typename Found> static bool each_field(const std::string &name, Found found) {
    for (size_t open = name.find('{'); open != std::string::npos; open = name.find('{', open + 1)) {
        size_t close = open + 1;
        while (close < name.size() && isalpha((unsigned char)name[close]))
            ++close;
        if (close == name.size() || name[close] != '}' || close == open + 1)
            continue;
        if (!found(open, close + 1, name.substr(open + 1, close - open - 1)))
            return false;
    }
    return true;
}

bool name_fields(const std::string &name, std::vector<Field> &fields, std::string &unknown) {
    fields.clear();
    return each_field(name, [&](size_t, size_t, const std::string &field_name) {
        Field field;
        if (!field_named(lowercase(field_name), field)) {
            unknown = "{" + field_name + "}";
            return false;
        }
        fields.push_back(field);
        return true;
    });
}

bool named_for(const std::string &name, const Track &track, const MediaFiles &files, bool safe, std::string &named) {
    named.clear();
    size_t copied = 0;
    bool all = each_field(name, [&](size_t start, size_t end, const std::string &field_name) {
        Field field;
        field_named(lowercase(field_name), field);
        std::string value = shown_field(track, field, files);
        if (safe)
            value = safe_name(value);
        if (value.empty())
            return false;
        named.append(name, copied, start - copied).append(value);
        copied = end;
        return true;
    });
    named.append(name, copied, std::string::npos);
    return all;
}

static bool is_reserved(const std::string &value) {
    std::string base = lowercase(value.substr(0, value.find('.')));
    static const char *const names[] = {"con", "prn", "aux", "nul"};
    for (const char *reserved : names)
        if (base == reserved)
            return true;
    return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) && base[3] >= '1' &&
           base[3] <= '9';
}

std::string safe_name(const std::string &value) {
    std::string safe;
    for (unsigned char c : value)
        safe += c < 0x20 || c == 0x7F || strchr("/\\:*?\"<>|", c) != nullptr ? '_' : char(c);
    if (safe.size() > longest_value) {
        size_t cut = longest_value;
        while (cut > 0 && (safe[cut] & 0xC0) == 0x80)
            --cut;
        safe.resize(cut);
    }
    while (!safe.empty() && (safe.back() == ' ' || safe.back() == '.'))
        safe.pop_back();
    size_t blanks = safe.find_first_not_of(' ');
    safe.erase(0, blanks == std::string::npos ? safe.size() : blanks);
    if (!safe.empty() && safe[0] == '.')
        safe[0] = '_';
    if (is_reserved(safe))
        safe.insert(std::min(safe.find('.'), safe.size()), "_");
    return safe;
}
