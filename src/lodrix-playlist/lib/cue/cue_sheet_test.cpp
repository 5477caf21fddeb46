// Cue sheets as rows.
#include <gtest/gtest.h>

#include <string>

#include "lodrix-playlist/lib/cue/cue_sheet.h"
#include "tests/sheet_text.h"

TEST(CueSheet, ReadsFilesTracksAndTags) {
    std::string hundred_tracks = "FILE a.flac WAVE\n", first_99 = "| a.flac:";
    for (int n = 1; n <= 100; ++n) {
        hundred_tracks += "TRACK " + std::to_string(n) + " AUDIO\nINDEX 01 " + std::to_string(n) + ":00:00\n";
        if (n <= 99)
            first_99 += " #" + std::to_string(n) + "@" + std::to_string(n * 60000);
    }
    // 4,097 bytes and more: the cut would split an "é".
    std::string long_title = "x", kept_title = "x";
    for (int i = 0; i < 2500; ++i) {
        long_title += "\xc3\xa9";
        if (i < 2047)
            kept_title += "\xc3\xa9";
    }
    // UTF-16 as EAC writes it: a byte-order mark, then each character in two bytes.
    auto utf16 = [](std::u16string text, bool little_endian) {
        std::string bytes = little_endian ? "\xFF\xFE" : "\xFE\xFF";
        for (char16_t c : text)
            bytes += little_endian ? std::string{char(c), char(c >> 8)} : std::string{char(c >> 8), char(c)};
        return bytes;
    };
    const std::u16string cyrillic = u"TITLE \"Группа крови\"\r\nFILE \"Кино.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n"
                                    u"    INDEX 01 00:00:00\r\n";
    const std::string gbk = "REM GENRE Pop\r\nREM DATE 1998\r\nREM COMMENT \"ExactAudioCopy v1.6\"\r\n"
                            "PERFORMER \"\xcd\xf5\xb7\xc6\"\r\nTITLE \"\xb3\xaa\xd3\xce\"\r\n"
                            "FILE \"\xcd\xf5\xb7\xc6 - \xb3\xaa\xd3\xce.wav\" WAVE\r\n  TRACK 01 AUDIO\r\n"
                            "    TITLE \"\xb4\xf2\xce\xf3\"\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n"
                            "    TITLE \"\xc8\xcb\xbc\xe4\"\r\n    INDEX 01 04:10:00\r\n";
    open_converters(Encoding::none);
    const struct {
        const char *about;
        bool embedded;
        std::string sheet, described;
        Encoding forced = Encoding::none;
        int error = 0;
    } cases[] = {
        {"UTF-8 with a byte-order mark, a pregap", false,
         "\xef\xbb\xbfTITLE \"Album\"\nFILE \"a.flac\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    INDEX 00 01:00:00\n    INDEX 01 01:02:00\n  TRACK 03 AUDIO\n    INDEX 01 02:00:37\n",
         "album=Album | a.flac: #1@0 title=One #2@62000 #3@120493"},
        {"CR LF", false, "TITLE \"Album\"\r\nFILE \"a.flac\" WAVE\r\nTRACK 01 AUDIO\r\nTITLE One\r\nINDEX 01 00:00:00\r\n",
         "album=Album | a.flac: #1@0 title=One"},
        {"CR", false, "PERFORMER Band\rFILE a.flac WAVE\rTRACK 01 AUDIO\rINDEX 01 00:01:00\r", "artist=Band | a.flac: #1@1000"},
        {"lower case", false,
         "title \"Album\"\nfile \"a.flac\" wave\ntrack 01 audio\nperformer \"Singer\"\nsongwriter Writer\nindex 01 00:00:00\n",
         "album=Album | a.flac: #1@0 artist=Singer composer=Writer"},
        {"unquoted values", false, "TITLE  My Album  \nFILE my song.flac WAVE\nTRACK 01 AUDIO\nTITLE Side A: Intro\nINDEX 01 00:00:00\n",
         "album=My Album | my song.flac: #1@0 title=Side A: Intro"},
        {"REM at both levels", false,
         "REM GENRE \"Jazz\"\nREM DATE 1959-08-17\nREM DISCNUMBER 2/3\nREM COMMENT \"x\"\nSONGWRITER \"Monk\"\nFILE a.flac WAVE\n"
         "TRACK 01 AUDIO\nREM GENRE Bebop\nREM DATE \"1958\"\nREM DISCNUMBER 5\nINDEX 01 00:00:00\n"
         "TRACK 02 AUDIO\nREM DATE 58\nINDEX 01 01:00:00\n",
         "genre=Jazz composer=Monk year=1959 disc=2 | a.flac: #1@0 genre=Bebop year=1958 #2@60000"},
        {"a data track", false, "FILE a.bin BINARY\nTRACK 01 MODE1/2352\nTITLE \"Data\"\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 01:00:00\n",
         "| a.bin: #2@60000"},
        {"no INDEX 01", false,
         "FILE a.flac WAVE\nTRACK 01 AUDIO\nINDEX 00 00:00:00\nTRACK 02 AUDIO\nINDEX 01 01:00:00\nTRACK 03 AUDIO\nTITLE \"Three\"\n",
         "| a.flac: #2@60000"},
        {"names as written, two files", false,
         "FILE \"../x.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nFILE \"C:\\Rips\\x.wav\" WAVE\nTRACK 02 AUDIO\nINDEX 01 00:00:00\n",
         "| ../x.flac: #1@0 | C:\\Rips\\x.wav: #2@0"},
        {"INDEX 01 in the next file", false,
         "FILE 01.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 00 03:00:00\nFILE 02.wav WAVE\nINDEX 01 00:00:00\n",
         "| 01.wav: #1@0 | 02.wav: #2@0"},
        {"no file, or no name", false,
         "TRACK 01 AUDIO\nINDEX 01 00:00:00\nFILE \"\" WAVE\nTRACK 02 AUDIO\nINDEX 01 00:00:00\nFILE b.flac WAVE\nFILE c.flac WAVE\n"
         "TRACK 03 AUDIO\nINDEX 01 00:00:00\nFILE d.flac WAVE\n",
         "| c.flac: #3@0"},
        {"Windows-1252", false, "TITLE \"Caf\xe9\"\nFILE \"\xc4rger.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
         "album=Café | Ärger.wav [\xc4rger.wav]: #1@0"},
        {"GBK, as EAC writes it", false, gbk, "artist=王菲 album=唱游 genre=Pop year=1998 | 王菲 - 唱游.wav [\xcd\xf5\xb7\xc6 - \xb3\xaa\xd3\xce.wav]: "
         "#1@0 title=打误 #2@250000 title=人间"},
        {"Shift-JIS given, a second byte 0x5C in a FILE's name", false,
         "TITLE \"\x83\\\x83i\x83`\x83l\"\r\nFILE \"C:\\Rips\\\x83\\\x83i\x83`\x83l.wav\" WAVE\r\nTRACK 01 AUDIO\r\n"
         "INDEX 01 00:00:00\r\n",
         "album=ソナチネ | C:\\Rips\\ソナチネ.wav [C:\\Rips\\\x83\\\x83i\x83`\x83l.wav]: #1@0", Encoding::shift_jis},
        {"UTF-16 little endian", false, utf16(cyrillic, true), "album=Группа крови | Кино.wav: #1@0"},
        {"UTF-16 big endian", false, utf16(cyrillic, false), "album=Группа крови | Кино.wav: #1@0"},
        {"UTF-16 with a lone surrogate", false, utf16(u"TITLE \xD800x\r\n" + cyrillic, true), "", Encoding::none,
         not_utf16},
        {"UTF-16 cut to an odd length", false, utf16(cyrillic, true) + "\n", "", Encoding::none, not_utf16},
        {"not in the encoding given", false, gbk, "", Encoding::shift_jis, not_in_encoding},
        {"UTF-8 whatever is given", false, "TITLE \"Ärger\"\nFILE a.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n",
         "album=Ärger | a.wav: #1@0", Encoding::shift_jis},
        {"times out of range", false,
         "FILE a.flac WAVE\nTRACK 01 AUDIO\nINDEX 01 00:60:00\nTRACK 02 AUDIO\nINDEX 01 00:10:75\nTRACK 03 AUDIO\nINDEX 01 00:59:74\n",
         "| a.flac: #3@59987"},
        {"starts not in order", false,
         "FILE a.flac WAVE\nTRACK 01 AUDIO\nINDEX 01 01:00:00\nTRACK 02 AUDIO\nINDEX 01 01:00:00\nTRACK 03 AUDIO\n"
         "INDEX 01 00:30:00\nTRACK 04 AUDIO\nINDEX 01 02:00:00\n",
         "| a.flac: #1@60000 #4@120000"},
        {"truncated", false, "TITLE \"Album\"\nFILE \"a.flac\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 01:0",
         "album=Album | a.flac: #1@0"},
        {"100 tracks", false, hundred_tracks, first_99},
        {"a long title", false, "FILE a.flac WAVE\nTRACK 01 AUDIO\nTITLE " + long_title + "\nINDEX 01 00:00:00\n",
         "| a.flac: #1@0 title=" + kept_title},
        {"embedded: one file", true,
         "FILE a.flac WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nFILE b.flac WAVE\nTRACK 02 AUDIO\nINDEX 01 03:00:00\n"
         "TRACK 03 AUDIO\nINDEX 01 00:00:00\n",
         "| : #1@0 #2@180000"},
        {"embedded in GBK", true, gbk, "artist=王菲 album=唱游 genre=Pop year=1998 | : #1@0 title=打误 #2@250000 title=人间"},
        {"embedded, not in the encoding given: its bytes", true, "TITLE \"\xb4\xf2\xce\xf3\"\n", "album=\xb4\xf2\xce\xf3",
         Encoding::shift_jis},
    };
    for (const auto &c : cases) {
        CueSheet sheet;
        if (c.embedded)
            read_embedded_cue_sheet(c.sheet.data(), c.sheet.size(), c.forced, sheet);
        else
            EXPECT_EQ(read_cue_sheet(c.sheet.data(), c.sheet.size(), c.forced, sheet), c.error) << c.about;
        EXPECT_EQ(described(sheet), c.described) << c.about;
    }
}

