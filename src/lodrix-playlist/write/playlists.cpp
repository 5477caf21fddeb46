#include "playlists.h"

#include <errno.h>
#include <stdint.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#include "lodrix-playlist/text/text.h"
#include "output_file.h"
#include "platform/platform.h"
#include "xspf/xspf.h"

static const char program[] = "lodrix-playlist";
static const char list_not_written_message[] = "lodrix-playlist: %s: Liste nicht geschrieben: %s\n";

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

int open_playlist(const char *path, const std::string &base, PlaylistOutput &output) {
    if (path == nullptr)
        return 0;
    std::error_code error;
    if (!absolute_path(path, base, output.folder, error))
        return write_error_status(program, error.value());
    output.folder = std::filesystem::u8path(output.folder).parent_path().generic_u8string();
    output.stream = start_output_file(path);
    output.to_file = true;
    return output.stream == nullptr ? write_error_status(program, errno) : 0;
}

int write_playlist(PlaylistOutput &output, Tracks &tracks, const MediaFiles &files, const char *title) {
    const std::string *folder = output.to_file ? &output.folder : nullptr;
    int32_t written = 0;
    start_output(output.stream);
    std::vector<Track> batch;
    while (tracks.next(batch) && write_tracks(files, batch, folder, title, written)) {
    }
    if (written > 0)
        write_playlist_tail(written);
    int write_error = finish_output();
    if (written == 0 && write_error == 0) {
        if (output.to_file)
            discard_output_file();
        return 1;
    }
    if (output.to_file)
        return write_error_status(program, finish_output_file(write_error));
    return close_output(stdout, program, write_error);
}

// Reports the lists that could not be put in place; false when there was one.
static bool reported(const std::vector<OutputFailure> &failures) {
    for (const OutputFailure &failure : failures)
        fprintf(stderr, list_not_written_message, printable(failure.path).c_str(), strerror(failure.error));
    return failures.empty();
}

int write_each_folder(Tracks &tracks, const MediaFiles &files, const char *name) {
    bool any = false, failed = false;
    std::vector<Track> batch;
    while (tracks.next(batch)) {
        if (batch.empty())
            continue;
        any = true;
        const std::string &folder = files.folders[files.files[batch.front().file].folder];
        std::string title = std::filesystem::u8path(folder).filename().u8string();
        if (title.empty())
            title = default_title;
        std::string path = folder + (folder.back() == '/' ? "" : "/") + (name != nullptr ? name : title + ".xspf");
        // Lists are flushed to the disk together, a batch at a time, while the next batch is
        // written: one flush each cost more than reading their files.
        if (kept_output_files() == most_kept_files)
            failed = !reported(commit_output_files()) || failed;
        FILE *stream = start_output_file(path);
        int error = stream == nullptr ? errno : 0;
        if (stream != nullptr) {
            int32_t written = 0;
            start_output(stream);
            write_tracks(files, batch, &folder, title.c_str(), written);
            write_playlist_tail(written);
            error = keep_output_file(finish_output());
        }
        if (error != 0) {
            fprintf(stderr, list_not_written_message, printable(path).c_str(), strerror(error));
            failed = true;
        }
    }
    failed = !reported(commit_output_files()) || failed;
    failed = !reported(wait_for_commits()) || failed;
    return !any ? 1 : failed ? 2 : 0;
}
