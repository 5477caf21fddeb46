// libFuzzer target over the cue sheet parser: any bytes as a .cue file's sheet and as one a
// media file holds in a tag, decoded as they would be (UTF-16, a code page detected). Beyond not
// crashing: the sheet keeps the limits (tracks, texts), each file's tracks start in order, and
// a reading's bytes give the same sheet back.
#include <stdint.h>
#include <stdlib.h>

#include "lodrix-playlist/lib/cue/cue_sheet.h"
#include "lodrix-playlist/lib/reading/reading_bytes.h"

static void check(bool holds) {
    if (!holds)
        abort();
}

static bool texts_fit(const Tags &tags) {
    for (const std::string *text : {&tags.title, &tags.artist, &tags.album_artist, &tags.album, &tags.genre, &tags.composer})
        if (text->size() > most_tag_bytes)
            return false;
    return true;
}

static bool same(const Tags &a, const Tags &b) {
    return a.title == b.title && a.artist == b.artist && a.album_artist == b.album_artist && a.album == b.album &&
           a.genre == b.genre && a.composer == b.composer && a.track == b.track && a.disc == b.disc && a.year == b.year;
}

static void check_sheet(const CueSheet &sheet, bool embedded) {
    check(texts_fit(sheet.tags));
    check(!embedded || sheet.files.size() <= 1);
    size_t tracks = 0;
    for (const CueFile &file : sheet.files) {
        check(!file.tracks.empty() && file.name.size() <= most_tag_bytes && file.name.empty() == embedded &&
              file.raw_name.size() <= most_tag_bytes && (!embedded || file.raw_name.empty()));
        for (size_t i = 0; i < file.tracks.size(); ++i) {
            const CueTrack &track = file.tracks[i];
            check(track.start_ms >= 0 && (i == 0 || track.start_ms > file.tracks[i - 1].start_ms));
            check(texts_fit(track.tags) && track.tags.album.empty() && track.tags.disc == 0);
        }
        tracks += file.tracks.size();
    }
    check(tracks <= most_cue_tracks);

    Reading reading = {Reading::measured, 0, 0};
    reading.sheet = sheet;
    std::string bytes;
    encode_reading(reading, bytes);
    Reading back;
    check(decode_reading(bytes.data(), bytes.size(), back));
    check(same(back.sheet.tags, sheet.tags) && back.sheet.files.size() == sheet.files.size());
    for (size_t f = 0; f < sheet.files.size(); ++f) {
        const CueFile &file = sheet.files[f], &file_back = back.sheet.files[f];
        check(file_back.name == file.name && file_back.raw_name == file.raw_name &&
              file_back.tracks.size() == file.tracks.size());
        for (size_t t = 0; t < file.tracks.size(); ++t)
            check(file_back.tracks[t].start_ms == file.tracks[t].start_ms &&
                  same(file_back.tracks[t].tags, file.tracks[t].tags));
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool opened = (open_converters(Encoding::none), true);
    check(opened);
    for (bool embedded : {false, true}) {
        CueSheet sheet;
        if (embedded)
            read_embedded_cue_sheet((const char *)data, size, Encoding::none, sheet);
        else
            read_cue_sheet((const char *)data, size, Encoding::none, sheet);
        check_sheet(sheet, embedded);
    }
    return 0;
}
