#include "lodrix-playlist/write/playlists.h"

#include <errno.h>
#include <stdint.h>
#include <string.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "lodrix-playlist/lib/replace_file/replace_file.h"
#include "lodrix-playlist/lib/system/system.h"
#include "lodrix-playlist/lib/text/case.h"
#include "lodrix-playlist/lib/text/messages.h"
#include "lodrix-playlist/lib/text/text.h"
#include "lodrix-playlist/write/names.h"
#include "platform/platform.h"

const char default_title[] = N_("Playlist");
static const char list_not_written_message[] = N_("%s: list not written: %s");

static std::string parent_folder(const std::string &path) {
    return std::filesystem::u8path(path).parent_path().generic_u8string();
}

Playlists::Playlists(const MediaFiles &files, const WriteSettings &settings) : files(files), settings(settings) {}

int Playlists::open(const std::string &base) {
    // A prefix's FROM is a path of this machine, formed as the walk forms the files'.
    for (Prefix &prefix : settings.locations.prefixes) {
        std::string from;
        std::error_code ignored;
        if (absolute_path(prefix.from, base, from, ignored))
            prefix.from = from;
    }
    this->base = base;
    if (settings.each_folder) {
        format = format_for(settings.format, settings.each_name != nullptr ? settings.each_name : "");
        return 0;
    }
    if (settings.output == nullptr) {
        format = format_for(settings.format, "");
        if (settings.locations.paths == PathMode::relative)
            folder = base;
        text = std::make_unique<ListText>(format, stdout, files, folder.empty() ? nullptr : &folder,
                                          settings.locations, settings.title);
        return 0;
    }
    format = format_for(settings.format, settings.output);
    if (settings.one_of_many)
        return 0;
    std::error_code error;
    if (!absolute_path(settings.output, base, path, error))
        return output_error_status(error.value());
    folder = parent_folder(path);
    stream = start_output_file(settings.output);
    to_file = true;
    if (stream == nullptr)
        return output_error_status(errno);
    text = std::make_unique<ListText>(format, stream, files, &folder, settings.locations, settings.title);
    return 0;
}

bool Playlists::write(std::vector<Track> &tracks) {
    if (settings.each_folder)
        return write_folder(tracks);
    if (settings.one_of_many) {
        kept.insert(kept.end(), std::make_move_iterator(tracks.begin()), std::make_move_iterator(tracks.end()));
        return true;
    }
    return text->write(tracks);
}

// Reports the lists that could not be put in place; false when there was one.
static bool reported(const std::vector<OutputFailure> &failures) {
    for (const OutputFailure &failure : failures)
        report(list_not_written_message, printable(failure.path).c_str(), strerror(failure.error));
    return failures.empty();
}

int put_kept_lists_in_place() {
    bool all = reported(commit_output_files());
    all = reported(wait_for_commits()) && all;
    return all ? 0 : 2;
}

// Writes a whole list into a file of its own, kept to be put in place with the others.
bool Playlists::write_kept(const std::string &list_path, const std::string *list_folder,
                           const std::vector<Track> &tracks, const char *title) {
    // Lists are flushed to the disk together, a batch at a time, while the next batch is
    // written: one flush each cost more than reading their files.
    if (kept_output_files() == most_kept_files)
        failed = !reported(commit_output_files()) || failed;
    FILE *list = start_output_file(list_path);
    int error = list == nullptr ? errno : 0;
    if (list != nullptr) {
        ListText written(format, list, files, list_folder, settings.locations, title);
        written.write(tracks);
        error = keep_output_file(written.finish(true));
    }
    if (error != 0) {
        report(list_not_written_message, printable(list_path).c_str(), strerror(error));
        failed = true;
    }
    return error == 0;
}

bool Playlists::write_folder(const std::vector<Track> &tracks) {
    if (tracks.empty())
        return true;
    any = true;
    const std::string &list_folder = files.folders[files.files[tracks.front().file].folder];
    std::string title = std::filesystem::u8path(list_folder).filename().u8string();
    if (title.empty())
        title = translated(default_title);
    std::string name = settings.each_name != nullptr ? settings.each_name
                                                     : title + (format == Format::m3u8 ? ".m3u8" : ".xspf");
    write_kept(list_folder + (list_folder.back() == '/' ? "" : "/") + name, &list_folder, tracks, title.c_str());
    return true;
}

// A --lists list: whole, or one per value of its name's fields, in the order their first
// tracks come, each value's tracks in the list's order; a track without a value in none.
int Playlists::finish_named() {
    std::vector<Field> fields;
    std::string unknown;
    name_fields(settings.output, fields, unknown);
    struct Named {
        std::string name, title;
        std::vector<Track> tracks;
    };
    std::vector<Named> lists;
    std::map<std::string, size_t> by_name; // case-folded: one list per file on any file system
    if (fields.empty()) {
        lists.push_back({settings.output, settings.title, std::move(kept)});
    } else {
        std::string name;
        for (Track &track : kept) {
            if (!named_for(settings.output, track, files, true, name))
                continue;
            auto found = by_name.emplace(case_folded(name), lists.size());
            if (found.second) {
                std::string title;
                lists.push_back({name, named_for(settings.title, track, files, false, title) ? title : settings.title, {}});
            }
            lists[found.first->second].tracks.push_back(std::move(track));
        }
    }
    kept.clear();
    for (const Named &list : lists) {
        std::string list_path, list_folder;
        std::error_code error;
        if (!absolute_path(list.name, base, list_path, error)) {
            report(list_not_written_message, printable(list.name).c_str(), error.message().c_str());
            failed = true;
            continue;
        }
        list_folder = parent_folder(list_path);
        write_kept(list_path, &list_folder, list.tracks, list.title.c_str());
    }
    return failed ? 2 : 0;
}

int Playlists::finish() {
    if (settings.one_of_many)
        return finish_named();
    if (settings.each_folder) {
        failed = put_kept_lists_in_place() != 0 || failed;
        return !any ? 1 : failed ? 2 : 0;
    }
    int write_error = text->finish(false);
    if (text->written == 0 && write_error == 0) {
        if (to_file)
            discard_output_file();
        return 1;
    }
    if (to_file)
        return output_error_status(finish_output_file(write_error));
    return close_stream(stdout, write_error);
}
