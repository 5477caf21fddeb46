#include "lodrix-playlist/lib/text/text.h"

#include <algorithm>

static char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
static bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string printable(std::string text) {
    std::replace_if(text.begin(), text.end(), [](char c) { return (unsigned char)c < 0x20; }, '?');
    return text;
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), lower);
    return text;
}

bool natural_less(const std::string &a, const std::string &b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            while (i + 1 < a.size() && a[i] == '0' && is_digit(a[i + 1]))
                ++i;
            while (j + 1 < b.size() && b[j] == '0' && is_digit(b[j + 1]))
                ++j;
            size_t a_end = i, b_end = j;
            while (a_end < a.size() && is_digit(a[a_end]))
                ++a_end;
            while (b_end < b.size() && is_digit(b[b_end]))
                ++b_end;
            if (a_end - i != b_end - j)
                return a_end - i < b_end - j;
            int order = a.compare(i, a_end - i, b, j, b_end - j);
            if (order != 0)
                return order < 0;
            i = a_end;
            j = b_end;
            continue;
        }
        // A number sorts as its first digit would, against anything else.
        unsigned char x = is_digit(a[i]) ? '0' : lower(a[i]);
        unsigned char y = is_digit(b[j]) ? '0' : lower(b[j]);
        if (x != y)
            return x < y;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}
