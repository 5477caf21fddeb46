#include "lodrix-playlist/write/m3u8.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "platform/platform.h"
#include "xspf/xspf.h"

static const size_t block_size = 64 * 1024;

M3u8Writer::M3u8Writer(FILE *stream) : stream(stream), block(block_size) {}

void M3u8Writer::put(const char *text, size_t length) {
    while (error == 0 && length > 0) {
        size_t part = std::min(length, block_size - used);
        memcpy(block.data() + used, text, part);
        used += part;
        text += part;
        length -= part;
        if (used == block_size) {
            errno = 0;
            if (fwrite(block.data(), 1, used, stream) != used)
                error = errno != 0 ? errno : -1;
            used = 0;
        }
    }
}

void M3u8Writer::put_text(const char *text) { put(text, strlen(text)); }

int M3u8Writer::finish() {
    if (error == 0 && used > 0) {
        errno = 0;
        if (fwrite(block.data(), 1, used, stream) != used)
            error = errno != 0 ? errno : -1;
    }
    used = 0;
    if (error == 0 && fflush(stream) != 0)
        error = errno != 0 ? errno : -1;
    return error;
}

// Well-formed shortest UTF-8, as a .m3u8 list declares it (VLC drops any other line).
static bool is_utf8(const std::string &text) {
    for (size_t i = 0; i < text.size();) {
        unsigned char c = text[i];
        size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            if ((text[i + k] & 0xC0) != 0x80)
                return false;
            code = code << 6 | (text[i + k] & 0x3F);
        }
        static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

static std::string joined(const Location &location) {
    if (location.folder.empty())
        return location.name;
    return location.folder.back() == '/' ? location.folder + location.name : location.folder + "/" + location.name;
}

// True where M3U can carry the location's text as one line.
static bool fits_a_line(const Location &location, const std::string &text) {
    return text.find_first_of("\r\n") == std::string::npos && (location.kind == Location::url || is_utf8(text));
}

// A location as a plain path or a URL, as it is: every byte of a file's name is itself.
void M3u8Writer::put_location(const Location &location, const std::string &text) {
    if (location.kind == Location::relative) {
        // A scheme (Track 1: Intro.mp3), a comment, or blanks that readers strip.
        size_t first = text.find('/');
        bool scheme = text.find(':') < first;
        if (scheme || text[0] == '#' || text[0] == ' ' || text[0] == '\t')
            put_text("./");
    }
    put(text.data(), text.size());
    put_text("\n");
}

// A location as the URL VLC takes a cover's from: a path as a file URI, percent-encoded.
void M3u8Writer::put_url(const Location &location) {
    std::string text;
    if (location.kind == Location::url) {
        text = joined(location);
    } else if (location.kind == Location::relative) {
        text = percent_encoded(joined(location));
    } else {
        std::string folder(location.folder.size() + 2, '\0');
        if (location.rewritten)
            windows_directory_as_uri_path(location.folder.c_str(), &folder[0]);
        else
            folder_as_uri_path(location.folder.c_str(), &folder[0]);
        folder.resize(strlen(folder.c_str()));
        text = "file://" + percent_encoded(folder) + (folder.empty() || folder.back() != '/' ? "/" : "") +
               percent_encoded(location.name);
    }
    put(text.data(), text.size());
}

// A tag as text on one line: as UTF-8 (a tag that is none read as Windows-1252), line ends
// as blanks.
void M3u8Writer::put_shown(const char *tag) {
    static char text[4097];
    size_t length = tag_as_utf8(tag, text);
    for (size_t i = 0; i < length; ++i)
        if (text[i] == '\r' || text[i] == '\n')
            text[i] = ' ';
    put(text, length);
}

// A time VLC takes in seconds, with three decimals (1.400).
static std::string seconds(int64_t ms) {
    char text[32];
    snprintf(text, sizeof text, "%lld.%03d", (long long)(ms / 1000), int(ms % 1000));
    return text;
}

void M3u8Writer::head() {
    if (!started)
        put_text("#EXTM3U\n");
    started = true;
}

bool M3u8Writer::write(const M3u8Track &track) {
    std::string location = joined(*track.location);
    if (!fits_a_line(*track.location, location))
        return false;
    head();
    char length[32];
    snprintf(length, sizeof length, "#EXTINF:%lld,",
             track.duration_ms > 0 ? (long long)((track.duration_ms + 500) / 1000) : -1LL);
    put_text(length);
    if (track.artist[0] != '\0') {
        put_shown(track.artist);
        put_text(" - ");
    }
    put_shown(track.title[0] != '\0' ? track.title : track.file_name);
    put_text("\n");
    if (track.start_ms > 0)
        put_text(("#EXTVLCOPT:start-time=" + seconds(track.start_ms) + "\n").c_str());
    if (track.stop_ms > 0)
        put_text(("#EXTVLCOPT:stop-time=" + seconds(track.stop_ms) + "\n").c_str());
    // A cover's path is percent-encoded: only a prefix's URL may hold what no line can.
    if (track.cover != nullptr &&
        (track.cover->kind != Location::url || joined(*track.cover).find_first_of("\r\n") == std::string::npos)) {
        put_text("#EXTALBUMARTURL:");
        put_url(*track.cover);
        put_text("\n");
    }
    put_location(*track.location, location);
    return true;
}
