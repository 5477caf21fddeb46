#include "encoding.h"

#include <string.h>

#include <algorithm>
#include <new>
#include <utility>

#include <uchardet/uchardet.h>
#include <utf8proc.h>

#include "convert.h"

namespace {

// Each encoding with the name --encoding takes for it, its other names there, and the names
// uchardet gives it; each list between blanks. ISO-8859-1 is read as Windows-1252, which only adds characters
// where ISO-8859-1 has control characters. ISO-8859-7 and -8 are left out: Windows and glibc
// map some of their bytes to other characters; -10, -11, -14 and -16 Windows has none of.
struct Known {
    Encoding encoding;
    const char *name, *aliases, *detected;
};
const Known known[] = {
    {Encoding::windows_1252, "windows-1252", " cp1252 iso-8859-1 latin1 ", " WINDOWS-1252 ISO-8859-1 "},
    {Encoding::windows_1250, "windows-1250", " cp1250 ", " WINDOWS-1250 "},
    {Encoding::windows_1251, "windows-1251", " cp1251 ", " WINDOWS-1251 "},
    {Encoding::gbk, "gbk", " cp936 gb2312 gb18030 ", " GB18030 "},
    {Encoding::big5, "big5", " cp950 ", " BIG5 "},
    {Encoding::shift_jis, "shift_jis", " shift-jis sjis cp932 windows-31j ", " SHIFT_JIS "},
    {Encoding::euc_kr, "euc-kr", " cp949 uhc ", " EUC-KR UHC "},
    {Encoding::euc_jp, "euc-jp", " ", " EUC-JP "},
    {Encoding::koi8_r, "koi8-r", " ", " KOI8-R "},
    {Encoding::iso_8859_2, "iso-8859-2", " latin2 ", " ISO-8859-2 "},
    {Encoding::iso_8859_3, "iso-8859-3", " latin3 ", " ISO-8859-3 "},
    {Encoding::iso_8859_4, "iso-8859-4", " latin4 ", " ISO-8859-4 "},
    {Encoding::iso_8859_5, "iso-8859-5", " ", " ISO-8859-5 "},
    {Encoding::iso_8859_6, "iso-8859-6", " ", " ISO-8859-6 "},
    {Encoding::iso_8859_9, "iso-8859-9", " latin5 ", " ISO-8859-9 "},
    {Encoding::iso_8859_13, "iso-8859-13", " latin7 ", " ISO-8859-13 "},
    {Encoding::iso_8859_15, "iso-8859-15", " latin9 ", " ISO-8859-15 "},
    {Encoding::utf_16le, "utf-16le", " ", " "},
    {Encoding::utf_16be, "utf-16be", " ", " "},
};

// True where word is one of the blank-separated words of list.
bool listed(const char *list, const std::string &word) {
    return !word.empty() && word.find(' ') == std::string::npos && strstr(list, (" " + word + " ").c_str()) != nullptr;
}

// The next character of well-formed UTF-8 at at, and how many bytes it takes; a length below 1
// where it is not well-formed.
utf8proc_ssize_t next_char(const char *at, const char *end, utf8proc_int32_t &c) {
    return utf8proc_iterate((const utf8proc_uint8_t *)at, end - at, &c);
}

// Where a text holds a character a code page's text never means: Windows gives U+0080 to
// U+009F, or a private use character, for a byte its code page leaves undefined.
bool means_no_text(const std::string &utf8) {
    const char *at = utf8.data(), *end = at + utf8.size();
    while (at < end) {
        utf8proc_int32_t c;
        utf8proc_ssize_t length = next_char(at, end, c);
        if (length < 1 || (c >= 0x80 && c <= 0x9F) || (c >= 0xE000 && c <= 0xF8FF))
            return true;
        at += length;
    }
    return false;
}

// The bytes of a text taken for Latin-1: its characters as bytes, where all are below U+0100
// and one at least is U+0080 or above.
bool latin1_bytes(const std::string &text, std::string &bytes) {
    bytes.clear();
    bool high = false;
    for (const char *at = text.data(), *end = at + text.size(); at < end;) {
        utf8proc_int32_t c;
        utf8proc_ssize_t length = next_char(at, end, c);
        if (length < 1 || c > 0xFF)
            return false;
        high = high || c >= 0x80;
        bytes += char(c);
        at += length;
    }
    return high;
}

// Enough for uchardet to tell a code page: a file's texts past this add nothing but time.
const size_t most_detected_bytes = 64 * 1024;

} // namespace

const char encoding_names[] = "windows-1252, windows-1250, windows-1251, gbk, big5, shift_jis, euc-kr, euc-jp, "
                              "koi8-r, iso-8859-2, iso-8859-3, iso-8859-4, iso-8859-5, iso-8859-6, iso-8859-9, "
                              "iso-8859-13, iso-8859-15";

bool find_encoding(const std::string &name, Encoding &encoding) {
    std::string lower = name;
    for (char &c : lower)
        c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    for (const Known &code_page : known)
        if (code_page.encoding != Encoding::utf_16le && code_page.encoding != Encoding::utf_16be &&
            (lower == code_page.name || listed(code_page.aliases, lower))) {
            encoding = code_page.encoding;
            return true;
        }
    return false;
}

const char *encoding_name(Encoding encoding) {
    for (const Known &code_page : known)
        if (code_page.encoding == encoding)
            return code_page.name;
    return "";
}

bool is_utf8(const char *text, size_t length) {
    const char *end = text + length;
    while (text < end) {
        if ((unsigned char)*text < 0x80) {
            ++text;
            continue;
        }
        utf8proc_int32_t c;
        utf8proc_ssize_t char_length = next_char(text, end, c);
        if (char_length < 1)
            return false;
        text += char_length;
    }
    return true;
}

Encoding detect_encoding(const char *text, size_t length) {
    uchardet_t detector = uchardet_new();
    if (detector == nullptr)
        throw std::bad_alloc();
    std::string found;
    if (uchardet_handle_data(detector, text, length) == 0) {
        uchardet_data_end(detector);
        found = uchardet_get_charset(detector);
    }
    uchardet_delete(detector);
    for (const Known &code_page : known)
        if (listed(code_page.detected, found))
            return code_page.encoding;
    return Encoding::windows_1252;
}

bool decode_text(Encoding encoding, const char *text, size_t length, std::string &utf8) {
    std::string decoded;
    if (encoding == Encoding::none || !convert_to_utf8(encoding, text, length, decoded))
        return false;
    if (encoding != Encoding::utf_16le && encoding != Encoding::utf_16be && means_no_text(decoded))
        return false;
    utf8 = std::move(decoded);
    return true;
}

void decode_texts(const std::vector<std::string *> &texts, bool read_as_latin1, Encoding forced, size_t most) {
    std::vector<std::pair<std::string *, std::string>> suspects; // each text, and the bytes it stands for
    std::string all;
    for (std::string *text : texts) {
        // Most files' texts are ASCII: nothing to look at, nothing to allocate.
        if (std::all_of(text->begin(), text->end(), [](char c) { return (unsigned char)c < 0x80; }))
            continue;
        std::string bytes;
        if (!is_utf8(text->data(), text->size()))
            bytes = *text;
        else if (!read_as_latin1 || !latin1_bytes(*text, bytes))
            continue;
        if (all.size() < most_detected_bytes)
            all.append(bytes).append(1, '\n');
        suspects.emplace_back(text, std::move(bytes));
    }
    if (suspects.empty())
        return;
    Encoding encoding = forced != Encoding::none ? forced : detect_encoding(all.data(), all.size());
    for (auto &[text, bytes] : suspects) {
        size_t most_left_out = text->size() + 3 >= most ? 3 : 0;
        for (size_t left_out = 0; left_out <= most_left_out && left_out < bytes.size(); ++left_out)
            if (decode_text(encoding, bytes.data(), bytes.size() - left_out, *text))
                break;
    }
}
