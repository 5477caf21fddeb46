// What a reader reads of a file that holds a cue sheet, and of a .cue file.
#include <errno.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "lodrix-playlist/lib/contents/contents.h"
#include "lodrix-playlist/lib/cue/cue_sheet.h"
#include "tests/sheet_text.h"

static std::string big_endian(uint64_t value, int bytes) {
    std::string text;
    for (int i = bytes - 1; i >= 0; --i)
        text += char(value >> (8 * i));
    return text;
}

// A FLAC file without audio frames (10 s at 44.1 kHz, as its STREAMINFO tells) and with the
// metadata blocks given, as {type, content}.
static std::string flac_file(const std::vector<std::pair<int, std::string>> &blocks) {
    std::string file = "fLaC" + big_endian(34, 4) + big_endian(0x10001000, 4) + std::string(6, '\0') +
                       big_endian(uint64_t(44100) << 44 | uint64_t(1) << 41 | uint64_t(15) << 36 | 441000, 8) +
                       std::string(16, '\0');
    for (size_t i = 0; i < blocks.size(); ++i)
        file += big_endian((i + 1 == blocks.size() ? 0x80 : 0) | blocks[i].first, 1) +
                big_endian(blocks[i].second.size(), 3) + blocks[i].second;
    return file;
}

static std::string vorbis_comments(const std::vector<std::string> &comments) {
    auto little_endian = [](uint32_t value) {
        return std::string{char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
    };
    std::string block = little_endian(0) + little_endian(uint32_t(comments.size()));
    for (const std::string &comment : comments)
        block += little_endian(uint32_t(comment.size())) + comment;
    return block;
}

// A CUESHEET block of a CD: track 1 (with an ISRC) at 0 s, track 2 at second_start samples,
// the lead-out at 10 s.
static std::string flac_cue_sheet(uint64_t second_start) {
    auto track = [](uint64_t start, int number, std::string isrc, int indexes) {
        std::string text = big_endian(start, 8) + big_endian(number, 1) + isrc + std::string(12 - isrc.size() + 14, '\0') +
                           big_endian(indexes, 1);
        for (int i = 0; i < indexes; ++i)
            text += big_endian(0, 8) + big_endian(i + 1, 1) + std::string(3, '\0');
        return text;
    };
    return std::string(136, '\0') + big_endian(0x80, 1) + std::string(258, '\0') + big_endian(3, 1) +
           track(0, 1, "USABC1234567", 1) + track(second_start, 2, "", 1) + track(441000, 170, "", 0);
}

// A byte-order mark and the text in UTF-16, little endian, as EAC writes a sheet.
static std::string utf16le(const std::u16string &text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text)
        bytes += std::string{char(c), char(c >> 8)};
    return bytes;
}

// What FileContentsReader tells of a cue sheet, or of a media file that holds one.
TEST(FileContents, ReadsCueSheets) {
    const std::string sheet = "TITLE Album\nFILE \"a.flac\" WAVE\nTRACK 01 AUDIO\nTITLE One\nINDEX 01 00:00:00\n"
                              "FILE \"b.flac\" WAVE\nTRACK 02 AUDIO\nTITLE Two\nINDEX 01 00:05:00\n";
    const struct {
        const char *about, *extension;
        std::string content;
        Reading::Outcome outcome;
        int error;
        int64_t duration_ms;
        std::string described;
        size_t chapters;
        std::string title = "";
    } cases[] = {
        {"a .cue file", "cue", sheet, Reading::measured, 0, 0, "album=Album | a.flac: #1@0 title=One | b.flac: #2@5000 title=Two", 0},
        {"a .cue file of more than 1 MiB", "cue", sheet + std::string(most_sheet_bytes, '\n'), Reading::unreadable, EFBIG, 0, "", 0},
        {"a CUESHEET tag", "flac", flac_file({{4, vorbis_comments({"cuesheet=" + sheet})}}), Reading::measured,
         0, 10000, "album=Album | : #1@0 title=One #2@5000 title=Two", 0},
        {"a CUESHEET block", "flac", flac_file({{5, flac_cue_sheet(4 * 44100)}}), Reading::measured, 0, 10000,
         "| : #1@0 #2@4000", 0},
        {"a CUESHEET block's track past a year", "flac", flac_file({{5, flac_cue_sheet(uint64_t(1) << 50)}}),
         Reading::measured, 0, 10000, "| : #1@0", 0},
        {"a .cue file in UTF-16", "cue", utf16le(u"FILE К.wav WAVE\nTRACK 1 AUDIO\nINDEX 1 0:0:0\n"), Reading::measured, 0,
         0, "| К.wav: #1@0", 0},
        {"a .cue file that is no UTF-16", "cue", utf16le(u"FILE \xDC00"), Reading::unreadable, not_utf16, 0, "", 0},
        {"Vorbis comments in Windows-1251", "flac",
         flac_file({{4, vorbis_comments({"title=\xc3\xf0\xf3\xef\xef\xe0 \xea\xf0\xee\xe2\xe8", "artist=\xca\xe8\xed\xee"})}}),
         Reading::measured, 0, 10000, "", 0, "Группа крови"},
        {"chapters in Vorbis comments", "flac",
         flac_file({{4, vorbis_comments({"CHAPTER001=00:00:00.000", "CHAPTER002=00:00:05.000"})}}), Reading::measured, 0,
         10000, "", 2},
    };
    open_converters(Encoding::none);
    FileContentsReader contents;
    for (const auto &c : cases) {
        int fd = memfd_create("contents", MFD_CLOEXEC);
        ASSERT_EQ(write(fd, c.content.data(), c.content.size()), ssize_t(c.content.size()));
        Reading reading = contents.read(fd, int64_t(c.content.size()), c.extension);
        close(fd);
        EXPECT_EQ(reading.outcome, c.outcome) << c.about;
        EXPECT_EQ(reading.error, c.error) << c.about;
        EXPECT_EQ(reading.duration_ms, c.duration_ms) << c.about;
        EXPECT_EQ(described(reading.sheet), c.described) << c.about;
        EXPECT_EQ(reading.chapters.size(), c.chapters) << c.about;
        EXPECT_EQ(reading.tags.title, c.title) << c.about;
    }
}

