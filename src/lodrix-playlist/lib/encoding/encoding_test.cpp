// Text in the code pages rips use, as the platform's converter and uchardet read it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lodrix-playlist/lib/encoding/encoding.h"

// A file's texts, decoded together: each row the texts as a tag holds them (or as FFmpeg read
// ID3's Latin-1), and as they come out.
TEST(Encoding, DecodesAFilesTextsTogether) {
    open_converters(Encoding::none);
    const struct {
        const char *about;
        std::vector<std::string> texts, decoded;
        bool read_as_latin1 = false;
        Encoding forced = Encoding::none;
        size_t most = 4096;
    } rows[] = {
        {"Windows-1251, detected", {"\xd2\xf0\xe5\xea 01", "\xca\xe8\xed\xee", "\xc3\xf0\xf3\xef\xef\xe0 \xea\xf0\xee\xe2\xe8"},
         {"Трек 01", "Кино", "Группа крови"}},
        {"GBK, detected over all texts",
         {"\xd4\xc2\xc1\xc1\xb4\xfa\xb1\xed\xce\xd2\xb5\xc4\xd0\xc4", "\xb5\xcb\xc0\xf6\xbe\xfd",
          "\xb5\xcb\xc0\xf6\xbe\xfd 15\xd6\xdc\xc4\xea"},
         {"月亮代表我的心", "邓丽君", "邓丽君 15周年"}},
        {"GBK too short to tell: Windows-1252", {"\xc6\xdf\xc0\xef\xcf\xe3"}, {"ÆßÀïÏã"}},
        {"GBK given", {"\xc6\xdf\xc0\xef\xcf\xe3"}, {"七里香"}, false, Encoding::gbk},
        {"ID3's Latin-1 as FFmpeg reads it, in Windows-1251", {"Òðåê 01", "Êèíî", "Ãðóïïà êðîâè"},
         {"Трек 01", "Кино", "Группа крови"}, true},
        {"the same characters in a tag of UTF-8", {"Òðåê 01", "Êèíî", "Ãðóïïà êðîâè"}, {"Òðåê 01", "Êèíî", "Ãðóïïà êðîâè"}},
        {"German in ID3's Latin-1", {"Grüße aus Köln", "Die Ärzte"}, {"Grüße aus Köln", "Die Ärzte"}, true},
        {"Latin-1 with a Windows quote", {"It\xc2\x92s"}, {"It’s"}, true, Encoding::windows_1252},
        {"a byte Windows-1252 leaves undefined", {"caf\x81"}, {"caf\x81"}, false, Encoding::windows_1252},
        {"Shift-JIS, a second byte 0x5C", {"\x83\\\x83i\x83`\x83l"}, {"ソナチネ"}, false, Encoding::shift_jis},
        {"Big5", {"\xa9P\xaaN\xad\xdb"}, {"周杰倫"}, false, Encoding::big5},
        {"EUC-KR", {"\xbc\xad\xc5\xc2\xc1\xf6"}, {"서태지"}, false, Encoding::euc_kr},
        {"EUC-JP", {"\xc0\xe9\xa4\xc8\xc0\xe9\xbf\xd2"}, {"千と千尋"}, false, Encoding::euc_jp},
        {"KOI8-R", {"\xe7\xd2\xd5\xd0\xd0\xc1"}, {"Группа"}, false, Encoding::koi8_r},
        {"Windows-1250", {"\x8elu\x9dou\xe8k\xfd k\xf9\xf2"}, {"Žluťoučký kůň"}, false, Encoding::windows_1250},
        {"ISO-8859-2", {"Dziwny jest ten \xb6wiat"}, {"Dziwny jest ten świat"}, false, Encoding::iso_8859_2},
        {"ISO-8859-2 has no 0x80 to 0x9F", {"\x8elu"}, {"\x8elu"}, false, Encoding::iso_8859_2},
        {"cut within a character", {"\xc6\xdf\xc0\xef\xcf"}, {"七里"}, false, Encoding::gbk, 7},
        {"not cut, a character short", {"\xc6\xdf\xc0\xef\xcf"}, {"\xc6\xdf\xc0\xef\xcf"}, false, Encoding::gbk},
        {"UTF-8 and ASCII stay", {"Grüße", "Kind of Blue"}, {"Grüße", "Kind of Blue"}, false, Encoding::gbk},
    };
    for (const auto &row : rows) {
        std::vector<std::string> texts = row.texts;
        std::vector<std::string *> pointers;
        for (std::string &text : texts)
            pointers.push_back(&text);
        decode_texts(pointers, row.read_as_latin1, row.forced, row.most);
        EXPECT_EQ(texts, row.decoded) << row.about;
    }
}

// UTF-16 as a sheet's byte-order mark names it, and the names --encoding takes.
TEST(Encoding, Utf16AndNames) {
    open_converters(Encoding::none);
    std::string utf8;
    EXPECT_TRUE(decode_text(Encoding::utf_16le, "\"\x04@\x04" "5\x04:\x04", 8, utf8) && utf8 == "Трек");
    EXPECT_TRUE(decode_text(Encoding::utf_16be, "\x04\"\x04@\x04\x35\x04:", 8, utf8) && utf8 == "Трек");
    EXPECT_FALSE(decode_text(Encoding::utf_16le, "\x00\xd8" "a\x00", 4, utf8)) << "a lone surrogate";
    EXPECT_FALSE(decode_text(Encoding::utf_16le, "a\x00" "b", 3, utf8)) << "an odd length";
    const struct {
        const char *name;
        bool known;
        Encoding encoding;
    } names[] = {
        {"windows-1251", true, Encoding::windows_1251}, {"CP1251", true, Encoding::windows_1251},
        {"GB18030", true, Encoding::gbk},              {"Shift-JIS", true, Encoding::shift_jis},
        {"uhc", true, Encoding::euc_kr},               {"latin1", true, Encoding::windows_1252},
        {"utf-16le", false, Encoding::none},           {"utf-8", false, Encoding::none},
        {"windows-1251 ", false, Encoding::none},      {"", false, Encoding::none},
    };
    for (const auto &row : names) {
        Encoding found = Encoding::none;
        EXPECT_EQ(find_encoding(row.name, found), row.known) << row.name;
        EXPECT_EQ(found, row.encoding) << row.name;
    }
    // Each name the message lists is one --encoding takes, and the one it is given by.
    std::string listed = std::string(encoding_names) + ", ";
    for (size_t at = 0, comma; (comma = listed.find(", ", at)) != std::string::npos; at = comma + 2) {
        Encoding found;
        std::string name = listed.substr(at, comma - at);
        EXPECT_TRUE(find_encoding(name, found) && name == encoding_name(found)) << name;
    }
}
