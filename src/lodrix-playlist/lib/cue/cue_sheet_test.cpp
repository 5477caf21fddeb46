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
    const struct {
        const char *about;
        bool embedded;
        std::string sheet, described;
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
         "album=Caf\xe9 | \xc4rger.wav: #1@0"},
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
    };
    for (const auto &c : cases) {
        CueSheet sheet;
        (c.embedded ? parse_embedded_cue_sheet : parse_cue_sheet)(c.sheet.data(), c.sheet.size(), sheet);
        EXPECT_EQ(described(sheet), c.described) << c.about;
    }
}

