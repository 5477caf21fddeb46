#include "fragments.h"

#include <stdio.h>
#include <string.h>

// VLC 3.0 matches these literally, and its reader only knows "vlc" as the extension prefix.
#define XSPF_NAMESPACE "http://xspf.org/ns/0/"
#define VLC_NAMESPACE "http://www.videolan.org/vlc/playlist/ns/0/"
#define VLC_APPLICATION "http://www.videolan.org/vlc/playlist/0"

static const char playlist_head[] =
"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
"<playlist xmlns=\"" XSPF_NAMESPACE "\" xmlns:vlc=\"" VLC_NAMESPACE "\" version=\"1\">\n"
" <title>Wiedergabeliste</title>\n"
" <trackList>\n"
"\n";

static const char track_start_plain[] =
"  <track>\n"
"   <location>%s</location>\n";

static const char track_start_in_directory[] =
"  <track>\n"
"   <location>file://%s/%s</location>\n";

static const char track_rest[] =
"   <duration>%s</duration>\n"
"   <extension application=\"" VLC_APPLICATION "\">\n"
"    <vlc:id>%s</vlc:id>\n"
"   </extension>\n"
"  </track>\n"
"\n";

static const char tail_start[] =
" </trackList>\n"
"\n"
" <extension application=\"" VLC_APPLICATION "\">\n";

static const char item_line_start[] = "  <vlc:item tid=\"";
static const char item_line_end[] = "\"/>\n";

static const char tail_end[] =
" </extension>\n"
"</playlist>\n";

static bool is_xml_char(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The length of the reference that begins at the "&" in text, or 0 when it begins none.
// Scripts that escaped their names themselves keep working; a numeric reference to a
// character XML forbids (&#0;) would break the document, so it counts as none.
static size_t reference_length(const char *text) {
    static const char *const predefined[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"};
    for (const char *entity : predefined) {
        size_t length = strlen(entity);
        if (strncmp(text, entity, length) == 0)
            return length;
    }
    if (text[1] != '#')
        return 0;
    bool hex = text[2] == 'x';
    const char *first_digit = text + (hex ? 3 : 2);
    const char *p = first_digit;
    uint32_t value = 0;
    for (;; ++p) {
        uint32_t digit;
        if (*p >= '0' && *p <= '9')
            digit = *p - '0';
        else if (hex && *p >= 'a' && *p <= 'f')
            digit = *p - 'a' + 10;
        else if (hex && *p >= 'A' && *p <= 'F')
            digit = *p - 'A' + 10;
        else
            break;
        value = value * (hex ? 16 : 10) + digit;
        if (value > 0x10FFFF)
            value = 0x110000;
    }
    if (p == first_digit || *p != ';' || !is_xml_char(value))
        return 0;
    return p + 1 - text;
}

static void write_escaped(const char *text) {
    while (*text != '\0' && !ferror(stdout)) {
        size_t plain = strcspn(text, "&<>");
        fwrite(text, 1, plain, stdout);
        text += plain;
        if (*text == '<') {
            fputs("&lt;", stdout);
            ++text;
        } else if (*text == '>') {
            fputs("&gt;", stdout);
            ++text;
        } else if (*text == '&') {
            size_t kept = reference_length(text);
            if (kept > 0) {
                fwrite(text, 1, kept, stdout);
                text += kept;
            } else {
                fputs("&amp;", stdout);
                ++text;
            }
        }
    }
}

// Writes the template with each "%s" replaced by the next of values, escaped.
static void write_filled(const char *format, const char *const values[]) {
    for (const char *mark; (mark = strstr(format, "%s")) != nullptr; format = mark + 2) {
        fwrite(format, 1, mark - format, stdout);
        write_escaped(*values++);
    }
    fputs(format, stdout);
}

void write_playlist_head(void) { fputs(playlist_head, stdout); }

void write_track_entry(bool prefix_directory, const char *directory, const char *media_name,
                       const char *duration, const char *track_position) {
    if (prefix_directory) {
        const char *const location[] = {directory != nullptr ? directory : "", media_name};
        write_filled(track_start_in_directory, location);
    } else {
        const char *const location[] = {media_name};
        write_filled(track_start_plain, location);
    }
    const char *const rest[] = {duration, track_position};
    write_filled(track_rest, rest);
}

// The item list can run to 2^31-1 lines (47 GB), so it is built the way coreutils' seq
// builds its output: one line kept ready with its number as decimal digits counted up in
// place, copied whole into a block, and the block written with one fwrite.
static void write_item_lines(int32_t item_count) {
    char line[32];
    size_t line_length = strlen(item_line_start);
    memcpy(line, item_line_start, line_length);
    line[line_length++] = '1';
    memcpy(line + line_length, item_line_end, strlen(item_line_end));
    line_length += strlen(item_line_end);
    const size_t last_digit = strlen(item_line_start);
    size_t ones = last_digit;

    // Room for one whole copy of line past the last full line, so the copy needs no length.
    static char block[64 * 1024 + sizeof line];
    size_t used = 0;
    for (int64_t k = 1; k <= item_count; ++k) {
        memcpy(block + used, line, sizeof line);
        used += line_length;
        if (used >= sizeof block - sizeof line) {
            if (fwrite(block, 1, used, stdout) != used)
                return;
            used = 0;
        }

        size_t i = ones;
        while (line[i] == '9')
            line[i--] = '0';
        if (i >= last_digit) {
            ++line[i];
        } else {
            // 9...9 became 0...0: one digit more, a leading 1.
            memmove(line + last_digit + 1, line + last_digit, line_length - last_digit);
            line[last_digit] = '1';
            ++line_length;
            ++ones;
        }
    }
    fwrite(block, 1, used, stdout);
}

void write_playlist_tail(int32_t item_count) {
    fputs(tail_start, stdout);
    write_item_lines(item_count);
    if (!ferror(stdout))
        fputs(tail_end, stdout);
}
