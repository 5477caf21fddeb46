#include "lodrix-playlist/write/list_text.h"

#include <string.h>

#include <string>
#include <vector>

#include "lodrix-playlist/lib/text/extensions.h"
#include "lodrix-playlist/lib/text/messages.h"
#include "lodrix-playlist/lib/text/text.h"
#include "platform/platform.h"
#include "xspf/xspf.h"

static const char not_in_m3u_message[] = N_("%s: name M3U cannot carry (a line end, or not UTF-8), left out");

Format format_for(Format format, const std::string &name) {
    if (format != Format::by_name)
        return format;
    std::string extension = lowercase_extension(name);
    return extension == "m3u8" || extension == "m3u" ? Format::m3u8 : Format::xspf;
}

ListText::ListText(Format format, FILE *stream, const MediaFiles &files, const std::string *folder,
                   const LocationRules &rules, const char *title)
    : format(format), files(files), folder(folder), rules(rules), title(title) {
    if (format == Format::m3u8)
        m3u8 = std::make_unique<M3u8Writer>(stream);
    else
        start_output(stream);
}

// A location as XSPF's writer takes it: relative, a file URI of a path, or a URL as it is.
static void as_entry(const Location &location, std::string &uri_path, std::string &joined, LocationForm &form,
                     const char *&directory, const char *&name) {
    if (location.kind == Location::relative) {
        form = LocationForm::relative;
        directory = location.folder.c_str();
        name = location.name.c_str();
    } else if (location.kind == Location::path) {
        form = LocationForm::in_directory;
        uri_path.assign(location.folder.size() + 2, '\0');
        if (location.rewritten)
            windows_directory_as_uri_path(location.folder.c_str(), &uri_path[0]);
        else
            folder_as_uri_path(location.folder.c_str(), &uri_path[0]);
        uri_path.resize(strlen(uri_path.c_str()));
        directory = uri_path.c_str();
        name = location.name.c_str();
    } else {
        form = LocationForm::as_given;
        joined = location.folder + "/" + location.name;
        directory = "";
        name = joined.c_str();
    }
}

void ListText::write_xspf(const Track &track) {
    static std::string folder_text, image_text, joined, image_joined;
    std::string number = std::to_string(written), duration = std::to_string(track.end_ms - track.start_ms);
    const MediaFiles::File &file = files.files[track.file];
    const MediaFiles::Cover &picture = files.covers[file.folder];
    const Tags &tags = track.tags;
    TrackEntry entry;
    entry.kind = ValueKind::literal;
    locate(files.folders[file.folder], file.name, folder, rules, false, location);
    as_entry(location, folder_text, joined, entry.form, entry.directory, entry.name);
    entry.position = number.c_str();
    entry.duration = duration.c_str();
    entry.title = tags.title.c_str();
    entry.creator = !tags.artist.empty() ? tags.artist.c_str() : tags.album_artist.c_str();
    if (!picture.name.empty()) {
        locate(picture.folder, picture.name, folder, rules, true, cover);
        as_entry(cover, image_text, image_joined, entry.image_form, entry.image_directory, entry.image_name);
    }
    entry.album = tags.album.c_str();
    entry.track_number = tags.track;
    entry.start_ms = track.start_ms;
    entry.stop_ms = track.end_ms < track.file_ms ? track.end_ms : 0;
    write_track_entry(entry);
}

bool ListText::write_m3u8(const Track &track) {
    const MediaFiles::File &file = files.files[track.file];
    const MediaFiles::Cover &picture = files.covers[file.folder];
    locate(files.folders[file.folder], file.name, folder, rules, false, location);
    M3u8Track entry;
    entry.location = &location;
    entry.title = track.tags.title.c_str();
    entry.artist = !track.tags.artist.empty() ? track.tags.artist.c_str() : track.tags.album_artist.c_str();
    entry.file_name = file.name.c_str();
    entry.duration_ms = track.end_ms - track.start_ms;
    entry.start_ms = track.start_ms;
    entry.stop_ms = track.end_ms < track.file_ms ? track.end_ms : 0;
    if (!picture.name.empty()) {
        locate(picture.folder, picture.name, folder, rules, true, cover);
        entry.cover = &cover;
    }
    return m3u8->write(entry);
}

bool ListText::write(const std::vector<Track> &tracks) {
    for (const Track &track : tracks) {
        if (written == INT32_MAX || (m3u8 ? m3u8->failed() : output_failed()))
            return false;
        if (m3u8) {
            if (write_m3u8(track))
                ++written;
            else
                report_error(not_in_m3u_message, printable(media_file_path(files, track.file)).c_str());
            continue;
        }
        if (written == 0)
            write_playlist_head_titled(title);
        ++written;
        write_xspf(track);
    }
    return true;
}

int ListText::finish(bool even_empty) {
    if (m3u8) {
        if (even_empty)
            m3u8->head();
        return m3u8->finish();
    }
    if (written == 0 && even_empty)
        write_playlist_head_titled(title);
    if (written > 0 || even_empty)
        write_playlist_tail(written);
    return finish_output();
}
