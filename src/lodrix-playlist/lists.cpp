#include "lists.h"

#include <algorithm>
#include <iterator>

Lists::List::List(const TrackSettings &tracks, const Selection &selection, const WriteSettings &write,
                  const MediaFiles &files)
    : order(files, tracks), selector(selection, files, write.each_folder), playlists(files, write),
      chapters(tracks.chapters) {}

Lists::Lists(const Settings &settings, const MediaFiles &files) : files(files), many(!settings.lists.empty()) {
    if (!many) {
        lists.push_back(std::make_unique<List>(settings.tracks, settings.select, settings.write, files));
        return;
    }
    bool any_chapters = false;
    for (const ListSettings &list : settings.lists) {
        lists.push_back(std::make_unique<List>(list.tracks, list.select, list.write, files));
        any_chapters = any_chapters || list.tracks.chapters;
    }
    if (any_chapters && !settings.tracks.chapters) {
        TrackSettings split = settings.tracks;
        split.chapters = true;
        chapter_tracks = std::make_unique<Tracks>(files, split);
    }
}

int Lists::open(const std::string &base) {
    for (const auto &list : lists)
        if (int status = list->playlists.open(base); status != 0)
            return status;
    return 0;
}

bool Lists::needs_all_tracks() const { return !many && lists[0]->selector.needs_all_tracks(); }

bool Lists::finished() const {
    return std::all_of(lists.begin(), lists.end(), [](const auto &list) { return list->selector.finished(); });
}

// A file the run's tracks keep whole and the chapter lists split: measured, not split by a
// sheet of its own, two or more chapters. Its chapters' tracks are made apart, by tracks
// that see no sheet, so that no message is written twice.
void Lists::see(size_t file, const Reading &reading) {
    if (chapter_tracks == nullptr || reading.outcome != Reading::measured || reading.duration_ms <= 0 ||
        !reading.sheet.files.empty() || reading.chapters.size() < 2 || files.files[file].kind != MediaFiles::Kind::media)
        return;
    Parts &file_parts = parts[file];
    file_parts.tags = reading.tags;
    chapter_tracks->add(file, Reading(reading), file_parts.tracks);
}

static bool same_tags(const Tags &a, const Tags &b) {
    return a.title == b.title && a.artist == b.artist && a.album_artist == b.album_artist && a.album == b.album &&
           a.genre == b.genre && a.composer == b.composer && a.track == b.track && a.disc == b.disc && a.year == b.year;
}

// The batch with each file that the run kept whole as its chapters. A file a sheet of its
// folder claimed is not whole: its parts have the sheet's tags.
void Lists::with_chapters(const std::vector<Track> &batch, std::vector<Track> &split) const {
    split.clear();
    for (const Track &track : batch) {
        auto found = parts.find(track.file);
        if (found != parts.end() && track.start_ms == 0 && track.end_ms == track.file_ms &&
            same_tags(track.tags, found->second.tags))
            split.insert(split.end(), found->second.tracks.begin(), found->second.tracks.end());
        else
            split.push_back(track);
    }
}

bool Lists::write(std::vector<Track> &batch) {
    any = any || !batch.empty();
    std::vector<Track> split;
    if (chapter_tracks != nullptr)
        with_chapters(batch, split);
    parts.clear();
    if (!many) {
        List &list = *lists[0];
        list.order.order(batch);
        list.selector.apply(batch);
        return list.playlists.write(batch);
    }
    // Each list copies only what it keeps; matching first keeps each folder's order.
    std::vector<Track> own;
    for (const auto &list : lists) {
        if (list->selector.finished())
            continue;
        own.clear();
        for (const Track &track : list->chapters && chapter_tracks ? split : batch)
            if (list->selector.keeps(track))
                own.push_back(track);
        list->order.order(own);
        if (list->selector.needs_all_tracks()) {
            list->kept.insert(list->kept.end(), std::make_move_iterator(own.begin()), std::make_move_iterator(own.end()));
            continue;
        }
        list->selector.arrange(own);
        list->playlists.write(own);
    }
    return true;
}

int Lists::finish() {
    // Without a single track, no list of --lists is made anew: the library was not found.
    if (many && !any)
        return 1;
    int status = 0;
    for (const auto &list : lists) {
        if (many && list->selector.needs_all_tracks()) {
            list->selector.arrange(list->kept);
            list->playlists.write(list->kept);
        }
        status = std::max(status, list->playlists.finish());
    }
    return many ? std::max(status, put_kept_lists_in_place()) : status;
}
