#include "walk.h"

#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "lodrix-playlist/lib/system/system.h"
#include "lodrix-playlist/lib/text/extensions.h"
#include "lodrix-playlist/lib/text/messages.h"
#include "lodrix-playlist/lib/text/text.h"

namespace fs = std::filesystem;

static const char not_found_message[] = N_("%s: no such file or folder");
static const char not_regular_message[] = N_("%s: not a regular file, left out");
static const char unreadable_message[] = N_("%s: cannot be read: %s");
static const char unreadable_folder_message[] = N_("%s: folder cannot be read: %s");

int cover_rank(const std::string &name) {
    static const char *const bases[] = {"cover", "folder", "front", "albumart", "album"};
    static const char *const extensions[] = {"jpg", "jpeg", "png"};
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot > 8)
        return -1;
    std::string base = lowercase(name.substr(0, dot)), extension = lowercase_extension(name);
    for (int b = 0; b < 5; ++b)
        for (int e = 0; e < 3; ++e)
            if (base == bases[b] && extension == extensions[e])
                return b * 3 + e;
    return -1;
}

// Of Cover.jpg and cover.JPG, one for every run: the first in byte order.
static bool better_cover(const std::string &name, int rank, const std::string &best, int best_rank) {
    return rank >= 0 && (best_rank < 0 || rank < best_rank || (rank == best_rank && name < best));
}

static void add_file(MediaFiles &files, const std::string &folder, std::string name, const MediaFiles::Cover &cover,
                     MediaFiles::Kind kind) {
    if (files.folders.empty() || files.folders.back() != folder) {
        files.folders.push_back(folder);
        files.covers.push_back(cover);
    }
    files.files.push_back({uint32_t(files.folders.size() - 1), kind, std::move(name)});
}

// parent_cover: the name of the parent folder's own cover ("" for none or no parent listed).
static void walk(const std::string &folder, const std::string &parent_cover, MediaFiles &files, bool files_first) {
    // Only the names are kept: an entry of the listing holds the whole path.
    struct Entry {
        std::string name;
        bool is_folder, is_sheet;
    };
    std::vector<Entry> entries;
    std::string own_cover;
    int own_rank = -1;
    bool has_sheet = false;
    std::error_code error, ignored;
    for (fs::directory_iterator entry(fs::u8path(folder), error), end; !error && entry != end; entry.increment(error)) {
        std::string name = entry->path().filename().u8string();
        if (name[0] == '.')
            continue;
        // The type comes from the listing; only links cost a stat. A linked folder is left
        // out: it could lead back up the tree.
        bool is_folder = entry->is_directory(ignored) && !entry->is_symlink(ignored);
        bool is_sheet = !is_folder && is_cue_sheet(name) && entry->is_regular_file(ignored);
        has_sheet = has_sheet || is_sheet;
        if (is_folder || is_sheet || (entry->is_regular_file(ignored) && has_media_extension(name))) {
            entries.push_back({std::move(name), is_folder, is_sheet});
        } else if (int rank = cover_rank(name); better_cover(name, rank, own_cover, own_rank)) {
            if (entry->is_regular_file(ignored)) {
                own_cover = name;
                own_rank = rank;
            }
        }
    }
    if (error) {
        report(unreadable_folder_message, printable(folder).c_str(), error.message().c_str());
        return;
    }
    // A sheet names files of its folder: they follow it, so that its tracks are known when
    // they come.
    bool own_files_first = files_first || has_sheet;
    std::sort(entries.begin(), entries.end(), [own_files_first](const Entry &x, const Entry &y) {
        if (x.is_sheet != y.is_sheet)
            return x.is_sheet;
        if (own_files_first && x.is_folder != y.is_folder)
            return y.is_folder;
        return natural_less(x.name, y.name) || (!natural_less(y.name, x.name) && x.name < y.name);
    });
    MediaFiles::Cover cover = {folder, own_cover};
    if (own_cover.empty() && !parent_cover.empty())
        cover = {fs::u8path(folder).parent_path().generic_u8string(), parent_cover};
    for (Entry &entry : entries) {
        if (entry.is_folder)
            walk(joined_path(folder, entry.name), own_cover, files, files_first);
        else
            add_file(files, folder, std::move(entry.name), cover,
                     entry.is_sheet ? MediaFiles::Kind::sheet : MediaFiles::Kind::media);
    }
}

// A sheet named as an operand, with its folder's cover, and the media files of its folder:
// listed only where it claims them.
static void add_sheet_folder(const std::string &folder, const std::string &sheet, MediaFiles &files) {
    std::vector<std::string> names;
    std::string cover;
    int cover_at = -1;
    std::error_code error, ignored;
    for (fs::directory_iterator entry(fs::u8path(folder), error), end; !error && entry != end; entry.increment(error)) {
        std::string name = entry->path().filename().u8string();
        if (name[0] == '.' || !entry->is_regular_file(ignored))
            continue;
        if (has_media_extension(name))
            names.push_back(std::move(name));
        else if (int rank = cover_rank(name); better_cover(name, rank, cover, cover_at)) {
            cover = name;
            cover_at = rank;
        }
    }
    add_file(files, folder, sheet, {folder, cover}, MediaFiles::Kind::sheet);
    if (error) {
        report(unreadable_folder_message, printable(folder).c_str(), error.message().c_str());
        return;
    }
    std::sort(names.begin(), names.end(), [](const std::string &x, const std::string &y) {
        return natural_less(x, y) || (!natural_less(y, x) && x < y);
    });
    for (std::string &name : names)
        add_file(files, folder, std::move(name), {}, MediaFiles::Kind::if_claimed);
}

bool collect_media_files(const std::vector<std::string> &operands, const std::string &base, MediaFiles &files,
                         bool files_first, bool times) {
    bool all_read = true;
    for (const std::string &operand : operands) {
        std::error_code error;
        fs::file_status status = fs::status(fs::u8path(operand), error);
        std::string path;
        if (!error && !operand.empty())
            absolute_path(operand, base, path, error);
        if (operand.empty() || error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) {
            report_error(not_found_message, printable(operand).c_str());
            all_read = false;
        } else if (error) {
            report_error(unreadable_message, printable(operand).c_str(), error.message().c_str());
            all_read = false;
        } else if (fs::is_directory(status)) {
            walk(path, "", files, files_first);
        } else if (fs::is_regular_file(status)) {
            fs::path file = fs::u8path(path);
            std::string folder = file.parent_path().generic_u8string(), name = file.filename().u8string();
            if (is_cue_sheet(name))
                add_sheet_folder(folder, name, files);
            else
                add_file(files, folder, name, {}, MediaFiles::Kind::media);
        } else {
            report(not_regular_message, printable(operand).c_str());
        }
    }
    // Apart from the listings: a stat each, which only a query or sort on mtime pays.
    for (size_t i = files.modified.size(); times && i < files.files.size(); ++i) {
        FileIdentity identity;
        files.modified.push_back(identify_path(media_file_path(files, i), identity) ? identity.modified_ns / 1000000000 : 0);
    }
    return all_read;
}
