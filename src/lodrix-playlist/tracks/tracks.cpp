#include "lodrix-playlist/tracks/tracks.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <iterator>

#include "lodrix-playlist/lib/text/case.h"
#include "lodrix-playlist/lib/system/system.h"
#include "lodrix-playlist/lib/text/messages.h"
#include "lodrix-playlist/lib/text/text.h"

static const char not_regular_message[] = N_("%s: no regular file any more, left out");
static const char unreadable_message[] = N_("%s: cannot be read, duration 0: %s");
static const char unreadable_sheet_message[] = N_("%s: cannot be read: %s");
static const char no_such_file_message[] = N_("%s: FILE \"%s\" not in the folder, tracks left out");
static const char claimed_twice_message[] = N_("%s: %s belongs to %s already, tracks left out");
static const char past_end_message[] = N_("%s: track %u begins after the end of the file, left out");

// Why a file could not be read, where the system's own words do not say it.
static const char too_slow_reason[] = N_("not read to its end after %d s");
static const char reader_lost_reason[] = N_("reader process cannot be started");
static const char reader_exited_reason[] = N_("reader process ended early");
static const char not_utf16_reason[] = N_("not valid UTF-16");
static const char not_in_encoding_reason[] = N_("not in the encoding --encoding names");
static const char needs_converters_reason[] = N_("reader process without its converters");
static const char signal_reason[] = N_("reader process ended by signal %s");

// The reason for a Reading's error in words: the system's, or what became of the reader.
static std::string reading_error_text(int error) {
    char text[256];
    switch (error) {
    case too_slow:
        snprintf(text, sizeof text, translated(too_slow_reason), int(longest_read_ms / 1000));
        return text;
    case reader_lost: return translated(reader_lost_reason);
    case reader_exited: return translated(reader_exited_reason);
    case not_utf16: return translated(not_utf16_reason);
    case not_in_encoding: return translated(not_in_encoding_reason);
    case needs_converters: return translated(needs_converters_reason);
    }
    if (error > reader_ended_by(0))
        return strerror(error);
    snprintf(text, sizeof text, translated(signal_reason), signal_name(reader_ended_by(0) - error).c_str());
    return text;
}

// Each folder's tracks by disc (none counts as 1), then track number, then name; files
// without a track number after those with one, by name. The files come in name order, each
// folder's after each other, which a stable sort keeps.
static void order_by_tags(std::vector<Track> &tracks, const MediaFiles &files) {
    auto by_tags = [](const Track &a, const Track &b) {
        const Tags &x = a.tags, &y = b.tags;
        if ((x.track > 0) != (y.track > 0))
            return x.track > 0;
        uint32_t x_disc = x.disc > 0 ? x.disc : 1, y_disc = y.disc > 0 ? y.disc : 1;
        if (x.track == 0 || x_disc != y_disc)
            return x.track > 0 && x_disc < y_disc;
        return x.track < y.track;
    };
    for (auto start = tracks.begin(), end = start; start != tracks.end(); start = end) {
        uint32_t folder = files.files[start->file].folder;
        end = std::find_if(start, tracks.end(), [&](const Track &track) { return files.files[track.file].folder != folder; });
        std::stable_sort(start, end, by_tags);
    }
}

Tracks::Tracks(const MediaFiles &files, const TrackSettings &settings) : files(files), settings(settings) {}

// The name without its extension.
static std::string base_name(const std::string &name) { return name.substr(0, name.rfind('.')); }

// A FILE's name after the last "/" or "\" of it.
static std::string last_part(const std::string &name) { return name.substr(name.find_last_of("/\\") + 1); }

namespace {
// The media files of a sheet's folder, as its FILEs are looked for among them: each name, and
// in Unicode's case folding once a FILE is not found as it is.
struct Candidates {
    std::vector<size_t> files;
    std::vector<std::string> folded;
};
} // namespace

// The file of the sheet's folder a FILE names, by the last part of its name as the sheet's text
// reads and as its bytes are: the one of that name, else the first with the same base name and
// another media extension (a rip converted after its sheet was written); then the same in any
// case (a sheet written on Windows). Only files the walk listed: a sheet never makes anything
// be opened. SIZE_MAX for none.
static size_t named_file(const MediaFiles &files, Candidates &candidates, const CueFile &named) {
    std::vector<std::string> wanted = {last_part(named.name)};
    if (!named.raw_name.empty())
        wanted.push_back(last_part(named.raw_name));
    for (bool any_case : {false, true}) {
        if (any_case) {
            for (std::string &name : wanted)
                name = case_folded(name);
            for (size_t i = candidates.folded.size(); i < candidates.files.size(); ++i)
                candidates.folded.push_back(case_folded(files.files[candidates.files[i]].name));
        }
        for (bool same_extension : {true, false})
            for (size_t i = 0; i < candidates.files.size(); ++i) {
                const std::string &own = any_case ? candidates.folded[i] : files.files[candidates.files[i]].name;
                for (const std::string &name : wanted)
                    if (same_extension ? own == name : base_name(own) == base_name(name))
                        return candidates.files[i];
            }
    }
    return SIZE_MAX;
}

// A sheet's files: each claimed, unless an earlier sheet claimed it.
void Tracks::claim(size_t sheet, CueSheet &&read) {
    std::string sheet_path = media_file_path(files, sheet);
    Candidates candidates;
    for (size_t i = sheet + 1; i < files.files.size() && files.files[i].folder == files.files[sheet].folder; ++i)
        if (files.files[i].kind != MediaFiles::Kind::sheet)
            candidates.files.push_back(i);
    Held group;
    for (CueFile &cue_file : read.files) {
        size_t file = named_file(files, candidates, cue_file);
        if (file == SIZE_MAX) {
            report(no_such_file_message, printable(sheet_path).c_str(), printable(cue_file.name).c_str());
            continue;
        }
        std::string path = media_file_path(files, file);
        auto earlier = claimed.find(path);
        if (earlier != claimed.end()) {
            report(claimed_twice_message, printable(sheet_path).c_str(), printable(files.files[file].name).c_str(),
                    printable(media_file_path(files, earlier->second)).c_str());
            continue;
        }
        claimed.emplace(std::move(path), sheet);
        claims[file] = {sheet, group.files.size(), read.tags, std::move(cue_file.tracks)};
        group.files.emplace_back();
    }
    group.waiting = group.files.size();
    if (group.waiting > 0)
        held[sheet] = std::move(group);
}

static const std::string &either(const std::string &first, const std::string &second) {
    return !first.empty() ? first : second;
}
static uint32_t either(uint32_t first, uint32_t second) { return first != 0 ? first : second; }

// A file's parts: each from its start to the next one's, the last to the file's end; its tags
// its own, else the sheet's, else the file's.
void Tracks::add_parts(size_t file, const std::vector<CueTrack> &parts, const Tags &sheet_tags, const Reading &reading,
                       std::vector<Track> &tracks) const {
    const Tags &file_tags = reading.tags;
    for (size_t i = 0; i < parts.size(); ++i) {
        const Tags &own = parts[i].tags;
        Track track;
        track.file = file;
        track.file_ms = reading.duration_ms;
        track.start_ms = parts[i].start_ms;
        track.end_ms = i + 1 < parts.size() ? std::min(parts[i + 1].start_ms, track.file_ms) : track.file_ms;
        if (track.start_ms >= track.file_ms) {
            report(past_end_message, printable(media_file_path(files, file)).c_str(), unsigned(own.track));
            continue;
        }
        if (track.end_ms <= track.start_ms)
            continue;
        track.tags.title = own.title;
        track.tags.artist = either(either(own.artist, sheet_tags.artist), file_tags.artist);
        track.tags.album_artist = either(file_tags.album_artist, sheet_tags.artist);
        track.tags.album = either(sheet_tags.album, file_tags.album);
        track.tags.genre = either(either(own.genre, sheet_tags.genre), file_tags.genre);
        track.tags.composer = either(either(own.composer, sheet_tags.composer), file_tags.composer);
        track.tags.track = own.track;
        track.tags.disc = either(sheet_tags.disc, file_tags.disc);
        track.tags.year = either(either(own.year, sheet_tags.year), file_tags.year);
        tracks.push_back(std::move(track));
    }
}

// The tracks of one media file: the parts a sheet's claim makes, else those of a sheet it
// holds, else its chapters, else the whole file.
void Tracks::add_file(size_t file, Reading &&reading, const Claim *claim, std::vector<Track> &tracks) const {
    std::string path;
    if (reading.outcome != Reading::measured)
        path = printable(media_file_path(files, file));
    if (reading.outcome == Reading::not_regular) {
        report(not_regular_message, path.c_str());
        return;
    }
    if (reading.outcome == Reading::unreadable)
        report(unreadable_message, path.c_str(), reading_error_text(reading.error).c_str());
    // A file whose length is unknown cannot be divided: it stays whole.
    if (reading.duration_ms > 0) {
        if (claim != nullptr) {
            add_parts(file, claim->tracks, claim->sheet_tags, reading, tracks);
            return;
        }
        if (!reading.sheet.files.empty()) {
            std::vector<CueTrack> parts;
            for (CueFile &cue_file : reading.sheet.files)
                parts.insert(parts.end(), cue_file.tracks.begin(), cue_file.tracks.end());
            add_parts(file, parts, reading.sheet.tags, reading, tracks);
            return;
        }
        if (settings.chapters && reading.chapters.size() >= 2) {
            std::vector<CueTrack> parts;
            for (Chapter &chapter : reading.chapters) {
                parts.push_back({chapter.start_ms, reading.tags});
                parts.back().tags.title = std::move(chapter.title);
                parts.back().tags.track = uint32_t(parts.size());
            }
            add_parts(file, parts, {}, reading, tracks);
            return;
        }
    }
    Track track;
    track.file = file;
    track.end_ms = track.file_ms = reading.duration_ms;
    track.tags = std::move(reading.tags);
    tracks.push_back(std::move(track));
}

void Tracks::add(size_t file, Reading &&reading, std::vector<Track> &tracks) {
    const MediaFiles::File &listed = files.files[file];
    if (listed.kind == MediaFiles::Kind::sheet) {
        if (reading.outcome == Reading::unreadable)
            report(unreadable_sheet_message, printable(media_file_path(files, file)).c_str(),
                   reading_error_text(reading.error).c_str());
        else if (reading.outcome == Reading::measured)
            claim(file, std::move(reading.sheet));
        return;
    }
    auto claimed_by = claims.find(file);
    if (claimed_by == claims.end()) {
        if (listed.kind != MediaFiles::Kind::if_claimed)
            add_file(file, std::move(reading), nullptr, tracks);
        return;
    }
    Claim claim = std::move(claimed_by->second);
    claims.erase(claimed_by);
    Held &group = held[claim.sheet];
    add_file(file, std::move(reading), &claim, group.files[claim.place]);
    if (--group.waiting == 0) {
        for (std::vector<Track> &own : group.files)
            tracks.insert(tracks.end(), std::make_move_iterator(own.begin()), std::make_move_iterator(own.end()));
        held.erase(claim.sheet);
    }
}

size_t Tracks::batch_end(size_t first, bool whole_list) const {
    size_t count = files.files.size();
    if (whole_list)
        return count;
    if (!settings.by_folder)
        return first + 1;
    size_t last = first;
    while (last < count && files.files[last].folder == files.files[first].folder)
        ++last;
    return last;
}

void Tracks::order(std::vector<Track> &tracks) const {
    if (settings.order == Order::tags)
        order_by_tags(tracks, files);
}
