#include "lodrix-playlist/lib/cue/cue_sheet.h"

#include "lodrix-playlist/lib/reading/reading_bytes.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <utility>

// Far past any disc or file (69 days), and within longest_ms.
static const uint32_t most_index_minutes = 99999;

namespace {

// Some bytes of the sheet, in place.
struct Span {
    const char *at;
    size_t length;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// True when word is keyword (upper case) in any case.
bool is(Span word, const char *keyword) {
    if (word.length != strlen(keyword))
        return false;
    for (size_t i = 0; i < word.length; ++i) {
        char c = word.at[i];
        if ((c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c) != keyword[i])
            return false;
    }
    return true;
}

// The number a word of digits only makes, at most UINT32_MAX; false for any other word.
bool number_of(Span word, uint32_t &number) {
    uint64_t value = 0;
    for (size_t i = 0; i < word.length; ++i) {
        if (word.at[i] < '0' || word.at[i] > '9')
            return false;
        value = std::min<uint64_t>(value * 10 + uint64_t(word.at[i] - '0'), UINT32_MAX);
    }
    number = uint32_t(value);
    return word.length > 0;
}

// The number the digits at the start of text make ("2/3": 2), at most UINT32_MAX.
uint32_t leading_number(Span text) {
    size_t digits = 0;
    while (digits < text.length && text.at[digits] >= '0' && text.at[digits] <= '9')
        ++digits;
    uint32_t number = 0;
    number_of({text.at, digits}, number);
    return number;
}

// The year a date begins with ("1969", "1969-08-15"); 0 where it begins with none.
uint32_t year_of(Span date) {
    uint32_t year = 0;
    return date.length >= 4 && number_of({date.at, 4}, year) ? year : 0;
}

// The frames of an INDEX time, mm:ss:ff; false for any other word.
bool frames_of(Span word, int64_t &frames) {
    uint32_t parts[3];
    const char *at = word.at, *end = word.at + word.length;
    for (uint32_t &part : parts) {
        const char *start = at;
        while (at < end && *at != ':')
            ++at;
        if (!number_of({start, size_t(at - start)}, part))
            return false;
        if (&part != &parts[2]) {
            if (at == end)
                return false;
            ++at;
        }
    }
    if (at != end || parts[0] > most_index_minutes || parts[1] >= 60 || parts[2] >= 75)
        return false;
    frames = (int64_t(parts[0]) * 60 + parts[1]) * 75 + parts[2];
    return true;
}

void keep(std::string &into, Span text) { into.assign(text.at, kept_tag_length(text.at, text.length)); }

// The rest of one line, taken apart from the front.
struct Line {
    const char *at, *end;

    void skip_blanks() {
        while (at < end && is_blank(*at))
            ++at;
    }

    Span word() {
        skip_blanks();
        const char *start = at;
        while (at < end && !is_blank(*at))
            ++at;
        return {start, size_t(at - start)};
    }

    // Quoted: to the closing quote, or to the line's end where it has none. Else the rest of
    // the line, without the blanks it ends with.
    Span value() {
        skip_blanks();
        if (at < end && *at == '"') {
            const char *start = ++at;
            const char *quote = (const char *)memchr(start, '"', size_t(end - start));
            at = quote != nullptr ? quote + 1 : end;
            return {start, size_t((quote != nullptr ? quote : end) - start)};
        }
        const char *start = at;
        while (end > start && is_blank(end[-1]))
            --end;
        at = end;
        return {start, size_t(end - start)};
    }

    // A FILE's name: unquoted, the words before the last one, the file's type.
    Span file_name() {
        skip_blanks();
        bool quoted = at < end && *at == '"';
        Span name = value();
        if (!quoted) {
            const char *last = name.at + name.length;
            while (last > name.at && !is_blank(last[-1]))
                --last;
            while (last > name.at && is_blank(last[-1]))
                --last;
            if (last > name.at)
                name.length = size_t(last - name.at);
        }
        return name;
    }
};

const size_t no_file = SIZE_MAX;

// The sheet read line by line: a track is kept, or left out, once the next TRACK or the end
// shows that nothing more belongs to it.
struct Parser {
    CueSheet &sheet;
    bool embedded;
    size_t current_file = no_file; // where tracks start now: none before a FILE or after one without a name
    size_t kept_tracks = 0;
    enum { disc, audio_track, skipped_track } level = disc;
    CueTrack track = {};
    size_t track_file = no_file; // where the track's INDEX 01 is; none before it

    void finish_track() {
        if (level == audio_track && track_file != no_file) {
            std::vector<CueTrack> &tracks = sheet.files[track_file].tracks;
            if (tracks.empty() || tracks.back().start_ms < track.start_ms) {
                tracks.push_back(std::move(track));
                ++kept_tracks;
            }
        }
        level = skipped_track;
        track_file = no_file;
    }

    void file(Line &line) {
        if (embedded)
            return;
        Span name = line.file_name();
        if (name.length == 0) {
            current_file = no_file;
            return;
        }
        // A FILE that no track starts in takes the next one's name, so that lines of FILE
        // alone cannot make more files than tracks.
        bool unused = !sheet.files.empty() && sheet.files.back().tracks.empty() && track_file != sheet.files.size() - 1;
        if (!unused)
            sheet.files.emplace_back();
        current_file = sheet.files.size() - 1;
        keep(sheet.files.back().name, name);
    }

    void track_line(Line &line) {
        finish_track();
        uint32_t number;
        if (kept_tracks < most_cue_tracks && number_of(line.word(), number) && is(line.word(), "AUDIO")) {
            level = audio_track;
            track = {};
            track.tags.track = number;
        }
    }

    void index(Line &line) {
        uint32_t number;
        int64_t frames;
        if (level == audio_track && track_file == no_file && current_file != no_file && number_of(line.word(), number) &&
            number == 1 && frames_of(line.word(), frames)) {
            track.start_ms = (frames * 1000 + 75 / 2) / 75;
            track_file = current_file;
        }
    }

    void tag(Span keyword, Line &line) {
        Tags &tags = level == disc ? sheet.tags : track.tags;
        if (is(keyword, "TITLE"))
            keep(level == disc ? tags.album : tags.title, line.value());
        else if (is(keyword, "PERFORMER"))
            keep(tags.artist, line.value());
        else if (is(keyword, "SONGWRITER"))
            keep(tags.composer, line.value());
        else if (is(keyword, "REM")) {
            Span field = line.word();
            if (is(field, "GENRE"))
                keep(tags.genre, line.value());
            else if (is(field, "DATE"))
                tags.year = year_of(line.value());
            else if (is(field, "DISCNUMBER") && level == disc)
                tags.disc = leading_number(line.value());
        }
    }

    void read(Line line) {
        Span keyword = line.word();
        if (is(keyword, "FILE"))
            file(line);
        else if (is(keyword, "TRACK"))
            track_line(line);
        else if (is(keyword, "INDEX"))
            index(line);
        else if (level != skipped_track)
            tag(keyword, line);
    }
};

void parse(const char *text, size_t length, CueSheet &sheet, bool embedded) {
    sheet = CueSheet();
    Parser parser = {sheet, embedded};
    if (embedded) {
        sheet.files.emplace_back();
        parser.current_file = 0;
    }
    const char *at = text, *end = text + std::min(length, most_sheet_bytes);
    if (end - at >= 3 && memcmp(at, "\xEF\xBB\xBF", 3) == 0)
        at += 3;
    // CR LF ends a line and an empty one.
    while (at < end) {
        const char *line_end = at;
        while (line_end < end && *line_end != '\n' && *line_end != '\r')
            ++line_end;
        parser.read({at, line_end});
        at = line_end < end ? line_end + 1 : end;
    }
    parser.finish_track();
    sheet.files.erase(std::remove_if(sheet.files.begin(), sheet.files.end(),
                                     [](const CueFile &file) { return file.tracks.empty(); }),
                      sheet.files.end());
}

} // namespace

void parse_cue_sheet(const char *text, size_t length, CueSheet &sheet) { parse(text, length, sheet, false); }

void parse_embedded_cue_sheet(const char *text, size_t length, CueSheet &sheet) { parse(text, length, sheet, true); }

// A sheet's text as UTF-8 into decoded, for read_cue_sheet, and the encoding it was in: none
// where its bytes are UTF-8 already or nothing reads them better. An error of reading.h's, or 0.
static int decode_sheet(const char *text, size_t length, Encoding forced, std::string &decoded, Encoding &used) {
    used = Encoding::none;
    length = std::min(length, most_sheet_bytes);
    for (auto [mark, encoding] : {std::pair{"\xFF\xFE", Encoding::utf_16le}, {"\xFE\xFF", Encoding::utf_16be}})
        if (length >= 2 && memcmp(text, mark, 2) == 0) {
            used = encoding;
            return decode_text(encoding, text + 2, length - 2, decoded) ? 0 : not_utf16;
        }
    if (is_utf8(text, length))
        return 0;
    if (length >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
        text += 3;
        length -= 3;
    }
    if (forced != Encoding::none) {
        used = forced;
        return decode_text(forced, text, length, decoded) ? 0 : not_in_encoding;
    }
    for (Encoding encoding : {detect_encoding(text, length), Encoding::windows_1252})
        if (decode_text(encoding, text, length, decoded)) {
            used = encoding;
            break;
        }
    return 0;
}

int read_cue_sheet(const char *text, size_t length, Encoding forced, CueSheet &sheet) {
    std::string decoded;
    Encoding used;
    int error = decode_sheet(text, length, forced, decoded, used);
    if (error != 0) {
        sheet = CueSheet();
        return error;
    }
    if (used == Encoding::none) {
        parse(text, length, sheet, false);
        return 0;
    }
    parse(decoded.data(), decoded.size(), sheet, false);
    // A code page's characters never hold a byte of a blank, quote or line end (UTF-16's do):
    // its bytes hold the same lines and FILEs, each name in the sheet's own bytes.
    if (used != Encoding::utf_16le && used != Encoding::utf_16be) {
        CueSheet as_bytes;
        parse(text, length, as_bytes, false);
        for (size_t i = 0; i < sheet.files.size() && as_bytes.files.size() == sheet.files.size(); ++i)
            if (as_bytes.files[i].name != sheet.files[i].name)
                sheet.files[i].raw_name = std::move(as_bytes.files[i].name);
    }
    return 0;
}

void read_embedded_cue_sheet(const char *text, size_t length, Encoding forced, CueSheet &sheet) {
    std::string decoded;
    Encoding used;
    bool read = decode_sheet(text, length, forced, decoded, used) == 0 && used != Encoding::none;
    parse(read ? decoded.data() : text, read ? decoded.size() : length, sheet, true);
}
