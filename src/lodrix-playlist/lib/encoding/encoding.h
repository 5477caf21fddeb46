#pragma once

#include <stddef.h>

#include <string>
#include <vector>

// Text in the code pages rips and taggers write, as UTF-8: an Encoding found by uchardet, or
// given, and the platform's own converter (convert.h: glibc's iconv, Windows'
// MultiByteToWideChar), so that both builds give the same text for the same bytes. No I/O.

/// What text that is not UTF-8 is read as: the code pages rips use, and UTF-16 (only where a
/// byte-order mark says so). none: no other than UTF-8.
enum class Encoding : unsigned char {
    none,
    windows_1252,
    windows_1250,
    windows_1251,
    gbk,
    big5,
    shift_jis,
    euc_kr,
    euc_jp,
    koi8_r,
    iso_8859_2,
    iso_8859_3,
    iso_8859_4,
    iso_8859_5,
    iso_8859_6,
    iso_8859_9,
    iso_8859_13,
    iso_8859_15,
    utf_16le,
    utf_16be,
};
const size_t encoding_count = size_t(Encoding::utf_16be) + 1;

/// The code page name, in any case (windows-1251, cp1251, gbk, gb18030, big5, shift_jis, sjis,
/// cp932, euc-kr, cp949, euc-jp, koi8-r, iso-8859-2, ...; not UTF-16), into encoding; false
/// for a name that is none of them.
bool find_encoding(const std::string &name, Encoding &encoding);

/// The names find_encoding knows, one of each code page, separated by ", ".
extern const char encoding_names[];

/// The name of an encoding as find_encoding takes it; "" for none.
const char *encoding_name(Encoding encoding);

/// True where the bytes are well-formed UTF-8.
bool is_utf8(const char *text, size_t length);

/// The code page uchardet finds for text that is not UTF-8, over all its bytes (short texts
/// detect badly: give all of a file's at once); windows_1252 where it finds none of the
/// code pages above, or none at all.
Encoding detect_encoding(const char *text, size_t length);

/// The length bytes at text, in encoding, as UTF-8 into utf8; false (utf8 unchanged) where
/// they are not text in it: a byte sequence it leaves undefined, or a character no text
/// means (U+0080 to U+009F, the private use area), as Windows gives for a byte undefined.
bool decode_text(Encoding encoding, const char *text, size_t length, std::string &utf8);

/// Decodes a file's texts that are not UTF-8 (and with read_as_latin1, those whose
/// characters are all U+0000 to U+00FF, some U+0080 or above: the bytes of a tag that a
/// demuxer took for Latin-1, as FFmpeg reads ID3), in place, as UTF-8: all in forced, else in
/// the code page detected over all of them at once. A text not valid in it stays as it was.
/// A text of most - 3 bytes or more may have been cut there: a character it ends in the middle
/// of is left out. The texts may come out longer.
void decode_texts(const std::vector<std::string *> &texts, bool read_as_latin1, Encoding forced, size_t most);

/// Opens the converters decode_text uses (forced's and UTF-16's where forced is not none,
/// else all), once. On POSIX glibc loads them from disk, which a sandboxed reader cannot, and
/// in the static program it first loads a shared copy of the C library (about a millisecond):
/// so only where text needs them. Not while another thread of the process forks or opens one.
void open_converters(Encoding forced);

/// True once open_converters was called (some converters may have failed to open).
bool converters_opened();

/// True, once, after decode_text wanted a converter that open_converters had not been called
/// for: the text stayed as it was, and may be decoded again once they are open.
bool converter_was_missing();
