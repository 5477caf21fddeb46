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

// The item list can run to 2^31-1 lines (65 GB), so it is built the way coreutils' seq
// builds its output: one line kept ready with its number as decimal digits counted up in
// place, copied whole into a block, and the block written with one fwrite.
static void write_item_lines(int32_t item_count) {
    const size_t first_digit = sizeof item_line_start - 1;
    const size_t end_length = sizeof item_line_end - 1;
    char line[32];
    memcpy(line, item_line_start, first_digit);
    line[first_digit] = '1';
    memcpy(line + first_digit + 1, item_line_end, end_length);
    size_t line_length = first_digit + 1 + end_length;
    size_t ones = first_digit;

    // Room for one whole copy of line past block_size, so the copy needs no length.
    const size_t block_size = 64 * 1024;
    static char block[block_size + sizeof line];
    size_t used = 0;
    int64_t k = 1;
    while (k <= item_count) {
        // The ones digit goes straight into the block and line changes only every tenth
        // item: copying line right after a store into it stalls, and made the loop 2.6x slower.
        for (char digit = line[ones]; digit <= '9' && k <= item_count; ++digit, ++k) {
            memcpy(block + used, line, sizeof line);
            block[used + ones] = digit;
            used += line_length;
            if (used >= block_size) {
                if (fwrite(block, 1, used, stdout) != used)
                    return;
                used = 0;
            }
        }

        size_t i = ones;
        line[i] = '0';
        while (line[--i] == '9')
            line[i] = '0';
        if (i >= first_digit) {
            ++line[i];
        } else {
            // 9...9 became 0...0: one digit more, a leading 1.
            memmove(line + first_digit + 1, line + first_digit, line_length - first_digit);
            line[first_digit] = '1';
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
