#include "xspf.h"

#include "output.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

// VLC 3.0 matches these literally, and its reader only knows "vlc" as the extension prefix.
#define XSPF_NAMESPACE "http://xspf.org/ns/0/"
#define VLC_NAMESPACE "http://www.videolan.org/vlc/playlist/ns/0/"
#define VLC_APPLICATION "http://www.videolan.org/vlc/playlist/0"

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

// The code point of the well-formed UTF-8 character at text (shortest form, no surrogate,
// at most U+10FFFF) and its length; 0 for a byte that begins none.
static size_t utf8_char(const unsigned char *text, uint32_t &c) {
    unsigned char lead = text[0];
    if (lead < 0x80) {
        c = lead;
        return 1;
    }
    if (lead < 0xC2 || lead > 0xF4)
        return 0;
    size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    c = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80)
            return 0;
        c = c << 6 | (text[i] & 0x3F);
    }
    static const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    return c >= smallest[length] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF) ? length : 0;
}

// The length of the character at text when it is one XML allows, in shortest UTF-8 and
// beyond ASCII; 0 for a byte that begins none.
static size_t xml_char_length(const unsigned char *text) {
    uint32_t c;
    size_t length = utf8_char(text, c);
    return length > 1 && is_xml_char(c) ? length : 0;
}

// Bytes that may need more than a copy: markup, and in a path "%" "#" "?", which a file URI
// would read as an escape, a fragment or a query where a file name only means the character.
static bool needs_care(unsigned char c, bool path_part) {
    if (c >= 0x80 || c == '&' || c == '<' || c == '>')
        return true;
    if (c < 0x20)
        return c != '\t' && c != '\n';
    return path_part && (c == '%' || c == '#' || c == '?');
}

// Writes one value so that any bytes give a well-formed document whose location still names
// the file: a byte XML cannot carry (ill-formed UTF-8, a control character) is written as
// %XX, which VLC decodes back to it; a carriage return, which XML readers would turn into a
// line feed, as &#13;, which every reader takes as itself.
static void write_value(const char *value, ValueKind kind, bool path_part) {
    static const char hex_digits[] = "0123456789ABCDEF";
    const unsigned char *text = (const unsigned char *)value;
    while (*text != '\0' && !output_failed()) {
        const unsigned char *plain = text;
        for (size_t length = 1; *text != '\0' && length > 0; text += length)
            length = needs_care(*text, path_part) ? xml_char_length(text) : 1;
        put((const char *)plain, text - plain);
        if (*text == '\0')
            break;
        size_t kept = *text == '&' && kind == ValueKind::text ? reference_length((const char *)text) : 0;
        if (kept > 0) {
            put((const char *)text, kept);
            text += kept;
            continue;
        }
        if (*text == '&') {
            put_text("&amp;");
        } else if (*text == '<') {
            put_text("&lt;");
        } else if (*text == '>') {
            put_text("&gt;");
        } else if (*text == '\r') {
            put_text("&#13;");
        } else {
            const char escaped[3] = {'%', hex_digits[*text >> 4], hex_digits[*text & 0xF]};
            put(escaped, 3);
        }
        ++text;
    }
}

static bool is_utf8(const unsigned char *text) {
    uint32_t c;
    for (size_t length; *text != '\0'; text += length)
        if ((length = utf8_char(text, c)) == 0)
            return false;
    return true;
}

// Windows-1252's characters for the bytes 0x80 to 0x9F, where Latin-1 has control characters
// no text means; 0xFFFD for the five it leaves undefined.
static const uint16_t windows_1252[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// The next character of a tag, and where the one after it begins. Tags come from any tagger:
// Windows ones write Windows-1252, so a tag that is not UTF-8 is read as that; and FFmpeg
// reads ID3's Latin-1 frames as ISO-8859-1, so U+0080 to U+009F mean that code page's
// characters too. A character XML cannot carry is U+FFFD.
static uint32_t next_tag_char(const unsigned char *&text, bool utf8) {
    uint32_t c = *text;
    text += utf8 ? utf8_char(text, c) : 1;
    if (c >= 0x80 && c <= 0x9F)
        c = windows_1252[c - 0x80];
    return is_xml_char(c) ? c : 0xFFFD;
}

// c's UTF-8 into into; its length.
static size_t encode_utf8(uint32_t c, char *into) {
    size_t length = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    if (length == 1) {
        into[0] = char(c);
        return 1;
    }
    for (size_t i = length - 1; i > 0; --i, c >>= 6)
        into[i] = char(0x80 | (c & 0x3F));
    into[0] = char((0xF00 >> length) | c);
    return length;
}

// A tag is text, not a path: nothing in it is a %XX escape.
static const size_t longest_tag = 4096;

size_t tag_as_utf8(const char *tag, char *into) {
    const unsigned char *text = (const unsigned char *)tag;
    bool utf8 = is_utf8(text);
    size_t written = 0;
    char encoded[4];
    while (*text != '\0') {
        size_t length = encode_utf8(next_tag_char(text, utf8), encoded);
        if (written + length > longest_tag)
            break;
        memcpy(into + written, encoded, length);
        written += length;
    }
    into[written] = '\0';
    return written;
}

static void write_tag(const char *value) {
    static char text[longest_tag + 1];
    const char *c = text, *end = text + tag_as_utf8(value, text);
    while (c < end && !output_failed()) {
        const char *plain = c;
        c += strcspn(c, "&<>\r");
        put(plain, size_t(c - plain));
        if (c == end)
            break;
        put_text(*c == '&' ? "&amp;" : *c == '<' ? "&lt;" : *c == '>' ? "&gt;" : "&#13;");
        ++c;
    }
}

// element's start tag, tag and end tag, where tag is not empty.
static void write_tag_element(const char *start, const char *tag, const char *end) {
    if (tag == nullptr || tag[0] == '\0')
        return;
    put_text(start);
    write_tag(tag);
    put_text(end);
}

#define PLAYLIST_HEAD_START                                                                          \
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"                                                     \
    "<playlist xmlns=\"" XSPF_NAMESPACE "\" xmlns:vlc=\"" VLC_NAMESPACE "\" version=\"1\">\n"              \
    " <title>"
#define PLAYLIST_HEAD_END                                                                            \
    "</title>\n"                                                                                     \
    " <trackList>\n"                                                                                 \
    "\n"

void write_playlist_head(void) { put_text(PLAYLIST_HEAD_START "Wiedergabeliste" PLAYLIST_HEAD_END); }

void write_playlist_head_titled(const char *title) {
    put_text(PLAYLIST_HEAD_START);
    write_tag(title);
    put_text(PLAYLIST_HEAD_END);
}

static void write_location(LocationForm form, ValueKind kind, const char *directory, const char *name) {
    if (form == LocationForm::in_directory) {
        put_text("file://");
        write_value(directory, kind, true);
        put_text("/");
        write_value(name, kind, true);
    } else if (form == LocationForm::relative) {
        // A first part with a ":" would read as a URI scheme (Track 1: Intro.mp3).
        const char *first = directory[0] != '\0' ? directory : name;
        size_t first_length = strcspn(first, "/");
        if (memchr(first, ':', first_length) != nullptr)
            put_text("./");
        if (directory[0] != '\0') {
            write_value(directory, kind, true);
            put_text("/");
        }
        write_value(name, kind, true);
    } else {
        write_value(name, kind, false);
    }
}

// An option VLC takes from a playlist, with a time in seconds and three decimals (8.000).
static void write_time_option(const char *start, int64_t ms) {
    if (ms <= 0)
        return;
    char time[32];
    put_text(start);
    put(time, snprintf(time, sizeof time, "%lld.%03d", (long long)(ms / 1000), int(ms % 1000)));
    put_text("</vlc:option>\n");
}

void write_track_entry(const TrackEntry &entry) {
    put_text("  <track>\n"
             "   <location>");
    write_location(entry.form, entry.kind, entry.directory, entry.name);
    put_text("</location>\n");
    write_tag_element("   <title>", entry.title, "</title>\n");
    write_tag_element("   <creator>", entry.creator, "</creator>\n");
    if (entry.image_name != nullptr) {
        put_text("   <image>");
        write_location(entry.image_form, entry.kind, entry.image_directory, entry.image_name);
        put_text("</image>\n");
    }
    write_tag_element("   <album>", entry.album, "</album>\n");
    if (entry.track_number > 0) {
        char digits[16];
        put_text("   <trackNum>");
        put(digits, snprintf(digits, sizeof digits, "%u", (unsigned)entry.track_number));
        put_text("</trackNum>\n");
    }
    put_text("   <duration>");
    write_value(entry.duration, ValueKind::text, false);
    put_text("</duration>\n"
             "   <extension application=\"" VLC_APPLICATION "\">\n"
             "    <vlc:id>");
    write_value(entry.position, ValueKind::text, false);
    put_text("</vlc:id>\n");
    write_time_option("    <vlc:option>start-time=", entry.start_ms);
    write_time_option("    <vlc:option>stop-time=", entry.stop_ms);
    put_text("   </extension>\n"
             "  </track>\n"
             "\n");
}

void write_playlist_tail(int32_t item_count) {
    put_text(" </trackList>\n"
             "\n"
             " <extension application=\"" VLC_APPLICATION "\">\n");
    if (!output_failed())
        write_item_lines(item_count);
    put_text(" </extension>\n"
             "</playlist>\n");
}
