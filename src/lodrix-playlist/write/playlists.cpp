#include "lodrix-playlist/write/playlists.h"

#include <errno.h>
#include <stdint.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#include "lodrix-playlist/lib/text/messages.h"
#include "lodrix-playlist/lib/text/text.h"
#include "lodrix-playlist/lib/replace_file/replace_file.h"
#include "lodrix-playlist/lib/system/system.h"
#include "platform/platform.h"
#include "xspf/xspf.h"

const char default_title[] = "Wiedergabeliste";
static const char list_not_written_message[] = "%s: Liste nicht geschrieben: %s";

// The folder path of a file inside folder, relative to it ("" for folder itself), or false
// for a file elsewhere. Both are absolute paths as the program forms them.
// Allocates nothing but the room relative needs (readers are forked while this runs).
static bool relative_folder(const std::string &folder, const std::string &file_folder, std::string &relative) {
    size_t length = folder.back() == '/' ? folder.size() - 1 : folder.size();
    if (file_folder.compare(0, length, folder, 0, length) != 0)
        return false;
    if (file_folder.size() == length) {
        relative.clear();
        return true;
    }
    if (file_folder[length] != '/')
        return false;
    relative.assign(file_folder, length + 1, std::string::npos);
    return true;
}

// A file's folder as its location takes it: relative to the playlist's folder when inside
// it, else absolute, as a file URI's path. A cover is always absolute (playlist_folder
// null): VLC 3 resolves a relative location, but hands a relative image on as written.
static void place(const std::string &folder, const std::string *playlist_folder, std::string &written,
                  LocationForm &form, const char *&directory) {
    if (playlist_folder != nullptr && relative_folder(*playlist_folder, folder, written)) {
        form = LocationForm::relative;
        directory = written.c_str();
    } else {
        form = LocationForm::in_directory;
        written.assign(folder.size() + 2, '\0');
        folder_as_uri_path(folder.c_str(), &written[0]);
        written.resize(strlen(written.c_str()));
        directory = written.c_str();
    }
}

static void write_track(const MediaFiles &files, const Track &track, int32_t position,
                        const std::string *playlist_folder) {
    static std::string folder, image_folder;
    std::string number = std::to_string(position), duration = std::to_string(track.end_ms - track.start_ms);
    const MediaFiles::File &file = files.files[track.file];
    const MediaFiles::Cover &cover = files.covers[file.folder];
    const Tags &tags = track.tags;
    TrackEntry entry;
    entry.kind = ValueKind::literal;
    place(files.folders[file.folder], playlist_folder, folder, entry.form, entry.directory);
    entry.name = file.name.c_str();
    entry.position = number.c_str();
    entry.duration = duration.c_str();
    entry.title = tags.title.c_str();
    entry.creator = !tags.artist.empty() ? tags.artist.c_str() : tags.album_artist.c_str();
    if (!cover.name.empty()) {
        place(cover.folder, nullptr, image_folder, entry.image_form, entry.image_directory);
        entry.image_name = cover.name.c_str();
    }
    entry.album = tags.album.c_str();
    entry.track_number = tags.track;
    entry.start_ms = track.start_ms;
    entry.stop_ms = track.end_ms < track.file_ms ? track.end_ms : 0;
    write_track_entry(entry);
}

// Writes tracks after the written first; the head before the first. False once the list
// is full (2^31-1 tracks) or a write failed.
static bool write_tracks(const MediaFiles &files, const std::vector<Track> &tracks, const std::string *playlist_folder,
                         const char *title, int32_t &written) {
    for (const Track &track : tracks) {
        if (written == INT32_MAX || output_failed())
            return false;
        if (written == 0)
            write_playlist_head_titled(title);
        write_track(files, track, ++written, playlist_folder);
    }
    return true;
}

Playlists::Playlists(const MediaFiles &files, const WriteSettings &settings) : files(files), settings(settings) {}

int Playlists::open(const std::string &base) {
    if (settings.each_folder || settings.output == nullptr) {
        if (!settings.each_folder)
            start_output(stdout);
        return 0;
    }
    std::error_code error;
    if (!absolute_path(settings.output, base, folder, error))
        return write_error_status(program_name, error.value());
    folder = std::filesystem::u8path(folder).parent_path().generic_u8string();
    stream = start_output_file(settings.output);
    to_file = true;
    if (stream == nullptr)
        return write_error_status(program_name, errno);
    start_output(stream);
    return 0;
}

bool Playlists::write(const std::vector<Track> &tracks) {
    if (settings.each_folder)
        return write_folder(tracks);
    return write_tracks(files, tracks, to_file ? &folder : nullptr, settings.title, written);
}

// Reports the lists that could not be put in place; false when there was one.
static bool reported(const std::vector<OutputFailure> &failures) {
    for (const OutputFailure &failure : failures)
        report(list_not_written_message, printable(failure.path).c_str(), strerror(failure.error));
    return failures.empty();
}

bool Playlists::write_folder(const std::vector<Track> &tracks) {
    if (tracks.empty())
        return true;
    any = true;
    const std::string &list_folder = files.folders[files.files[tracks.front().file].folder];
    std::string title = std::filesystem::u8path(list_folder).filename().u8string();
    if (title.empty())
        title = default_title;
    std::string path = list_folder + (list_folder.back() == '/' ? "" : "/") +
                       (settings.each_name != nullptr ? settings.each_name : title + ".xspf");
    // Lists are flushed to the disk together, a batch at a time, while the next batch is
    // written: one flush each cost more than reading their files.
    if (kept_output_files() == most_kept_files)
        failed = !reported(commit_output_files()) || failed;
    FILE *list = start_output_file(path);
    int error = list == nullptr ? errno : 0;
    if (list != nullptr) {
        int32_t list_written = 0;
        start_output(list);
        write_tracks(files, tracks, &list_folder, title.c_str(), list_written);
        write_playlist_tail(list_written);
        error = keep_output_file(finish_output());
    }
    if (error != 0) {
        report(list_not_written_message, printable(path).c_str(), strerror(error));
        failed = true;
    }
    return true;
}

int Playlists::finish() {
    if (settings.each_folder) {
        failed = !reported(commit_output_files()) || failed;
        failed = !reported(wait_for_commits()) || failed;
        return !any ? 1 : failed ? 2 : 0;
    }
    if (written > 0)
        write_playlist_tail(written);
    int write_error = finish_output();
    if (written == 0 && write_error == 0) {
        if (to_file)
            discard_output_file();
        return 1;
    }
    if (to_file)
        return write_error_status(program_name, finish_output_file(write_error));
    return close_output(stdout, program_name, write_error);
}
