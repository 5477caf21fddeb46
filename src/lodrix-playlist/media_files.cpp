#include "media_files.h"

#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

static const char not_found_message[] = "lodrix-playlist: %s: Datei oder Ordner nicht gefunden\n";
static const char not_regular_message[] = "lodrix-playlist: %s: keine regulaere Datei, uebergangen\n";
static const char unreadable_message[] = "lodrix-playlist: %s: Ordner nicht lesbar: %s\n";

static const char *const media_extensions[] = {
    "3gp", "aac", "aif", "aiff", "ape", "avi", "flac", "flv", "m2ts", "m4a", "m4v",
    "mid", "midi", "mka", "mkv", "mov", "mp2", "mp3", "mp4", "mpc", "mpeg", "mpg",
    "oga", "ogg", "ogv", "opus", "ts", "vob", "wav", "webm", "wma", "wmv", "wv",
};

static char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
static bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A message names a path on one line, whatever bytes the path holds.
static std::string printable(const std::string &path) {
    std::string shown = path;
    std::replace_if(shown.begin(), shown.end(), [](char c) { return (unsigned char)c < 0x20; }, '?');
    return shown;
}

bool has_media_extension(const std::string &name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(), lower);
    return std::any_of(std::begin(media_extensions), std::end(media_extensions),
                       [&](const char *known) { return extension == known; });
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

std::string media_file_path(const MediaFile &file) {
    return file.folder == "/" ? "/" + file.name : file.folder + "/" + file.name;
}

static void walk(const std::string &folder, std::vector<MediaFile> &files) {
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        if (entry->path().filename().string()[0] != '.')
            entries.push_back(*entry);
    if (error) {
        fprintf(stderr, unreadable_message, printable(folder).c_str(), error.message().c_str());
        return;
    }
    std::sort(entries.begin(), entries.end(), [](const fs::directory_entry &x, const fs::directory_entry &y) {
        std::string a = x.path().filename().string(), b = y.path().filename().string();
        return natural_less(a, b) || (!natural_less(b, a) && a < b);
    });
    // The entries know their type from the folder listing; only links cost a stat.
    for (const fs::directory_entry &entry : entries) {
        std::string name = entry.path().filename().string();
        // A linked folder is left out: it could lead back up the tree.
        if (entry.is_directory(error) && !entry.is_symlink(error))
            walk(media_file_path({folder, name}), files);
        else if (entry.is_regular_file(error) && has_media_extension(name))
            files.push_back({folder, name});
    }
}

// The operand as an absolute path, "." and ".." taken away as a shell's cd takes them.
static std::string absolute_path(const std::string &operand, const std::string &base) {
    fs::path path = operand[0] == '/' ? fs::path(operand) : fs::path(base) / operand;
    std::string normal = path.lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

bool collect_media_files(const std::vector<std::string> &operands, const std::string &base,
                         std::vector<MediaFile> &files) {
    bool all_exist = true;
    for (const std::string &operand : operands) {
        std::error_code error;
        if (operand.empty() || !fs::exists(fs::status(operand, error))) {
            fprintf(stderr, not_found_message, printable(operand).c_str());
            all_exist = false;
        }
    }
    if (!all_exist)
        return false;
    for (const std::string &operand : operands) {
        std::error_code error;
        fs::file_status status = fs::status(operand, error);
        std::string path = absolute_path(operand, base);
        if (fs::is_directory(status)) {
            walk(path, files);
        } else if (fs::is_regular_file(status)) {
            size_t slash = path.rfind('/');
            files.push_back({slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)});
        } else {
            fprintf(stderr, not_regular_message, printable(operand).c_str());
        }
    }
    return true;
}
