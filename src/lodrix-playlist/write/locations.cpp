#include "lodrix-playlist/write/locations.h"

#include <ctype.h>
#include <string.h>

#include <string>

bool parse_path_mode(const std::string &text, PathMode &mode) {
    static const struct {
        const char *name;
        PathMode mode;
    } modes[] = {{"auto", PathMode::automatic}, {"relative", PathMode::relative}, {"absolute", PathMode::absolute}};
    for (const auto &known : modes)
        if (text == known.name) {
            mode = known.mode;
            return true;
        }
    return false;
}

bool parse_prefix(const std::string &text, Prefix &prefix) {
    size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
        return false;
    prefix = {text.substr(0, equals), text.substr(equals + 1)};
    return true;
}

static bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
static bool is_slash(char c) { return c == '/' || c == '\\'; }

// The length of a path's root that a relative path cannot leave: a drive ("C:") or a share
// ("//nas/music"); 0 for a path from "/".
static size_t root_length(const std::string &path) {
    if (path.size() >= 2 && is_letter(path[0]) && path[1] == ':')
        return 2;
    if (path.size() >= 2 && path[0] == '/' && path[1] == '/') {
        size_t share = path.find('/', path.find('/', 2) + 1);
        return share == std::string::npos ? path.size() : share;
    }
    return 0;
}

static bool same_root(const std::string &a, const std::string &b) {
    size_t length = root_length(a);
    if (length != root_length(b))
        return false;
    // A drive letter in either case is the same drive.
    if (length == 2)
        return (a[0] | 0x20) == (b[0] | 0x20);
    return a.compare(0, length, b, 0, length) == 0;
}

// The next folder name of path at or after position, which moves past it; false at the end.
static bool next_part(const std::string &path, size_t &position, std::string &part) {
    while (position < path.size() && path[position] == '/')
        ++position;
    if (position == path.size())
        return false;
    size_t end = path.find('/', position);
    if (end == std::string::npos)
        end = path.size();
    part.assign(path, position, end - position);
    position = end;
    return true;
}

bool relative_path(const std::string &from, const std::string &to, std::string &relative) {
    if (!same_root(from, to))
        return false;
    size_t in_from = root_length(from), in_to = in_from, common_to = in_to;
    std::string from_part, to_part;
    bool more_from, more_to;
    // Past the folders both share.
    for (;;) {
        size_t from_next = in_from, to_next = in_to;
        more_from = next_part(from, from_next, from_part);
        more_to = next_part(to, to_next, to_part);
        if (!more_from || !more_to || from_part != to_part)
            break;
        in_from = from_next;
        in_to = common_to = to_next;
    }
    relative.clear();
    for (size_t position = in_from; next_part(from, position, from_part);)
        relative += "../";
    while (common_to < to.size() && to[common_to] == '/')
        ++common_to;
    relative.append(to, common_to, std::string::npos);
    if (!relative.empty() && relative.back() == '/')
        relative.pop_back();
    return true;
}

std::string percent_encoded(const std::string &text) {
    static const char hex_digits[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : text)
        if (is_letter(char(c)) || (c >= '0' && c <= '9') || strchr("-._~/:", c) != nullptr) {
            encoded += char(c);
        } else {
            encoded += '%';
            encoded += hex_digits[c >> 4];
            encoded += hex_digits[c & 0xF];
        }
    return encoded;
}

// A URL's scheme and "://" at its start: letters, then letters, digits, "+", "-", ".".
static bool is_url(const std::string &text) {
    size_t scheme = 0;
    while (scheme < text.size() && (is_letter(text[scheme]) || (scheme > 0 && (isdigit((unsigned char)text[scheme]) ||
                                                                              strchr("+-.", text[scheme]) != nullptr))))
        ++scheme;
    return scheme > 0 && text.compare(scheme, 3, "://") == 0;
}

// An absolute path on some system: "/x", "\x", "C:/x", "C:" alone.
static bool is_absolute_path(const std::string &text) {
    return (!text.empty() && is_slash(text[0])) ||
           (text.size() >= 2 && is_letter(text[0]) && text[1] == ':' && (text.size() == 2 || is_slash(text[2])));
}

// The length of the longest FROM that path starts with, a whole folder of it, and its prefix.
static size_t longest_prefix(const std::string &path, const std::vector<Prefix> &prefixes, const Prefix *&longest) {
    size_t best = 0;
    longest = nullptr;
    for (const Prefix &prefix : prefixes) {
        const std::string &from = prefix.from;
        size_t length = from.size();
        while (length > 1 && from[length - 1] == '/')
            --length;
        if (length > best && path.compare(0, length, from, 0, length) == 0 &&
            (path.size() == length || path[length] == '/' || from[length - 1] == '/')) {
            best = length;
            longest = &prefix;
        }
    }
    return best;
}

static bool goes_up(const std::string &relative) { return relative == ".." || relative.compare(0, 3, "../") == 0; }

// Splits text at its last "/" into location's folder and name.
static void split(const std::string &text, Location &location) {
    size_t slash = text.rfind('/');
    location.folder.assign(text, 0, slash == std::string::npos ? 0 : slash);
    location.name.assign(text, slash == std::string::npos ? 0 : slash + 1, std::string::npos);
}

void locate(const std::string &folder, const std::string &name, const std::string *list_folder,
            const LocationRules &rules, bool cover, Location &location) {
    if (!rules.prefixes.empty()) {
        std::string path = folder.back() == '/' ? folder + name : folder + "/" + name;
        const Prefix *prefix;
        size_t length = longest_prefix(path, rules.prefixes, prefix);
        if (prefix != nullptr) {
            std::string to = prefix->to, rest = path.substr(length);
            while (!to.empty() && is_slash(to.back()))
                to.pop_back();
            while (!rest.empty() && rest[0] == '/')
                rest.erase(0, 1);
            bool url = is_url(prefix->to);
            location.kind = url ? Location::url : is_absolute_path(prefix->to) ? Location::path : Location::relative;
            location.rewritten = true;
            split(to + "/" + (url ? percent_encoded(rest) : rest), location);
            return;
        }
    }
    location.rewritten = false;
    bool may_be_relative = list_folder != nullptr && rules.paths != PathMode::absolute &&
                           !(cover && rules.paths == PathMode::automatic);
    if (may_be_relative && relative_path(*list_folder, folder, location.folder) &&
        (rules.paths == PathMode::relative || !goes_up(location.folder))) {
        location.kind = Location::relative;
    } else {
        location.kind = Location::path;
        location.folder = folder;
    }
    location.name = name;
}
