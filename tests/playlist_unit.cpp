// lodrix-playlist's own logic, without VLC: natural order, the extension rule, the walk, the
// readers' sandbox, cue sheets.
// readers' sandbox, the selection's parsers, folding and shuffles.
// readers' sandbox and their requests.
// readers' sandbox, the readings' cache.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "lodrix-playlist/text/text.h"
#include "lodrix-playlist/walk/media_files.h"
#include "lodrix-playlist/read/cue_sheet.h"
#include "lodrix-playlist/read/reading_format.h"
#include "lodrix-playlist/read/reader_channel.h"
#include "lodrix-playlist/read/reader.h"
#include "lodrix-playlist/read/reading_cache.h"
#include "lodrix-playlist/read/sandbox.h"
#include "lodrix-playlist/tracks/tracks.h"

// One list in playlist order, each name before every later one (as gnulib tests version order).
TEST(NaturalOrder, OneListInOrder) {
    const char *const names[] = {
        "#1.mp3",          "1.mp3",         "2.mp3",         "007.mp3",
        "10.mp3",          "track 1.mp3",   "Track 2.mp3",   "track 02b.mp3",
        "Track 007.mp3",   "track 10.mp3",  "Track 10a.mp3", "track 99999999999999999999.mp3",
        "track 100000000000000000000.mp3",  "tracks.mp3",    "x-.mp3",
        "x1.mp3",          "xa.mp3",        "\xc3\xa4.mp3",
    };
    const size_t count = sizeof names / sizeof names[0];
    for (size_t i = 0; i < count; ++i)
        for (size_t j = i; j < count; ++j) {
            EXPECT_EQ(natural_less(names[i], names[j]), i < j) << names[i] << " < " << names[j];
            EXPECT_FALSE(natural_less(names[j], names[i])) << names[j] << " < " << names[i];
        }
}

TEST(MediaExtension, AudioAndVideoInAnyCase) {
    const struct {
        const char *name;
        bool media;
    } cases[] = {
        {"a.mp3", true},   {"A.MP3", true},    {"x.Flac", true},   {"a.b.wav", true},
        {"o.opus", true},  {"m.m4a", true},    {"v.mkv", true},    {"t.ts", true},
        {"a.mp3.part", false}, {"mp3", false}, {"a.", false},      {"a.mp", false},
        {"a.mp33", false}, {"notes.txt", false}, {"cover.jpg", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(has_media_extension(c.name), c.media) << c.name;
}

// A scratch tree: which files a run lists, in order, for given operands.
TEST(Walk, ListsMediaFilesInOrder) {
    namespace fs = std::filesystem;
    char scratch_template[] = "/tmp/lodrix-walk.XXXXXX";
    ASSERT_NE(mkdtemp(scratch_template), nullptr);
    const std::string scratch = scratch_template;
    for (const char *file : {"real/b 10.mp3", "real/b 9.MP3", "real/notes.txt", "real/.hidden.mp3",
                             "real/.folder/x.mp3", "real/sub/c.flac", "outside.mp3"}) {
        fs::create_directories(fs::path(scratch + "/" + file).parent_path());
        std::ofstream(scratch + "/" + file) << "x";
    }
    ASSERT_EQ(symlink(".", (scratch + "/real/loop").c_str()), 0);
    ASSERT_EQ(symlink("../outside.mp3", (scratch + "/real/linked.mp3").c_str()), 0);
    ASSERT_EQ(mkfifo((scratch + "/real/fifo.mp3").c_str(), 0600), 0);
    const std::string cwd = fs::current_path();
    ASSERT_EQ(chdir(scratch.c_str()), 0);

    const struct {
        std::vector<std::string> operands;
        std::vector<std::string> listed; // paths below the scratch folder
    } cases[] = {
        {{"real"}, {"real/b 9.MP3", "real/b 10.mp3", "real/linked.mp3", "real/sub/c.flac"}},
        {{"./real/sub/../b 10.mp3", "real/./sub/"}, {"real/b 10.mp3", "real/sub/c.flac"}},
        {{"real/notes.txt", scratch + "/real/sub"}, {"real/notes.txt", "real/sub/c.flac"}},
        {{"real/fifo.mp3", "real/.folder"}, {"real/.folder/x.mp3"}},
    };
    for (const auto &c : cases) {
        MediaFiles files;
        EXPECT_TRUE(collect_media_files(c.operands, scratch, files));
        std::vector<std::string> listed;
        for (size_t i = 0; i < files.files.size(); ++i)
            listed.push_back(media_file_path(files, i).substr(scratch.size() + 1));
        EXPECT_EQ(listed, c.listed) << c.operands[0];
    }
    EXPECT_EQ(chdir(cwd.c_str()), 0);
    fs::remove_all(scratch);
}

// A sandboxed process can read what it holds and answer over its channel, and nothing else.
TEST(Sandbox, ReadsWhatItHoldsAndNothingElse) {
    const struct {
        const char *attempt;
        bool allowed;
        bool (*run)(int held);
    } cases[] = {
        {"read the descriptor it holds", true, [](int held) { char c; return pread(held, &c, 1, 0) == 1; }},
        {"allocate memory", true, [](int) { return malloc(1 << 24) != nullptr; }},
        {"open a file to read", false, [](int) { return open("/etc/passwd", O_RDONLY) >= 0; }},
        {"make a file", false, [](int) { return open("/tmp/lodrix-sandboxed", O_WRONLY | O_CREAT, 0600) >= 0; }},
        {"start a program", false, [](int) {
             char *const argv[] = {(char *)"true", nullptr};
             return execv("/bin/true", argv) == 0;
         }},
        {"open a network socket", false, [](int) { return socket(AF_INET, SOCK_STREAM, 0) >= 0; }},
        {"open a local socket", false, [](int) { return socket(AF_UNIX, SOCK_STREAM, 0) >= 0; }},
        {"start a process", false, [](int) {
             long process = syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0);
             if (process == 0)
                 _exit(0);
             return process > 0;
         }},
        {"signal its parent", false, [](int) { return kill(getppid(), 0) == 0; }},
        {"write to standard error", false, [](int) { return write(2, "", 0) == 0; }},
        {"map executable memory", false, [](int) {
             return mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) != MAP_FAILED;
         }},
    };
    const size_t count = sizeof cases / sizeof cases[0];
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair), 0);
    int held = open("/proc/self/exe", O_RDONLY);
    ASSERT_GE(held, 0);
    pid_t child = fork();
    if (child == 0) {
        // The answers: one byte per case, '1' where the attempt succeeded, over the channel.
        char results[count + 1] = {};
        results[0] = enter_sandbox(pair[1]) ? 'S' : 'F';
        for (size_t i = 0; i < count && results[0] == 'S'; ++i)
            results[i + 1] = cases[i].run(held) ? '1' : '0';
        iovec part = {results, sizeof results};
        msghdr message = {};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        _exit(sendmsg(pair[1], &message, 0) == ssize_t(sizeof results) ? 0 : 1);
    }
    char results[count + 1] = {};
    EXPECT_EQ(recv(pair[0], results, sizeof results, 0), ssize_t(sizeof results));
    int status;
    waitpid(child, &status, 0);
    ASSERT_EQ(results[0], 'S') << "enter_sandbox failed";
    for (size_t i = 0; i < count; ++i)
        EXPECT_EQ(results[i + 1], cases[i].allowed ? '1' : '0') << cases[i].attempt;
    close(held);
    close(pair[0]);
    close(pair[1]);
}

// A sheet on one line: its tags as key=value, each file as "| name:", each track as
// "#number@start_ms" and its tags; only what is set.
static std::string described(const CueSheet &sheet) {
    std::string text;
    auto add_tags = [&text](const Tags &tags) {
        for (auto [key, value] : {std::pair{"title", &tags.title}, {"artist", &tags.artist}, {"album", &tags.album},
                                  {"genre", &tags.genre}, {"composer", &tags.composer}})
            if (!value->empty())
                text += std::string(" ") + key + "=" + *value;
        for (auto [key, value] : {std::pair{"year", tags.year}, {"disc", tags.disc}})
            if (value != 0)
                text += std::string(" ") + key + "=" + std::to_string(value);
    };
    add_tags(sheet.tags);
    for (const CueFile &file : sheet.files) {
        text += " | " + file.name + ":";
        for (const CueTrack &track : file.tracks) {
            text += " #" + std::to_string(track.tags.track) + "@" + std::to_string(track.start_ms);
            add_tags(track.tags);
        }
    }
    return text.empty() ? text : text.substr(1);
}

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
    } cases[] = {
        {"a .cue file", "cue", sheet, Reading::measured, 0, 0, "album=Album | a.flac: #1@0 title=One | b.flac: #2@5000 title=Two", 0},
        {"a .cue file of more than 1 MiB", "cue", sheet + std::string(most_sheet_bytes, '\n'), Reading::unreadable, EFBIG, 0, "", 0},
        {"a CUESHEET tag", "flac", flac_file({{4, vorbis_comments({"cuesheet=" + sheet})}}), Reading::measured,
         0, 10000, "album=Album | : #1@0 title=One #2@5000 title=Two", 0},
        {"a CUESHEET block", "flac", flac_file({{5, flac_cue_sheet(4 * 44100)}}), Reading::measured, 0, 10000,
         "| : #1@0 #2@4000", 0},
        {"a CUESHEET block's track past a year", "flac", flac_file({{5, flac_cue_sheet(uint64_t(1) << 50)}}),
         Reading::measured, 0, 10000, "| : #1@0", 0},
        {"chapters in Vorbis comments", "flac",
         flac_file({{4, vorbis_comments({"CHAPTER001=00:00:00.000", "CHAPTER002=00:00:05.000"})}}), Reading::measured, 0,
         10000, "", 2},
    };
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
    }
}

// A reading's bytes come from a reader a file may have taken over (or from the cache, which any
// program of the user's can write): each change of a valid encoding that breaks a count, a
// length or a value is refused, and fit_reading makes any reading one that is taken back.
TEST(ReadingFormat, RefusesWhatNoReaderWrites) {
    Reading reading = {Reading::measured, 4200, 0};
    reading.tags.title = "Titel";
    reading.chapters = {{0, "Eins"}, {1500, "Zwei"}};
    reading.sheet.files = {{"a.wav", {{0, {}}, {1000, {}}}}};
    std::string valid;
    encode_reading(reading, valid);
    ASSERT_EQ(valid.size(), encoded_size(reading));
    Reading decoded;
    ASSERT_TRUE(decode_reading(valid.data(), valid.size(), decoded));
    EXPECT_EQ(decoded.chapters[1].title, "Zwei");
    // Numbers are seven bits a byte, the high bit set on all but the last. Byte offsets:
    // outcome, error, duration (4200: two bytes); the tags' three numbers, then six texts (the
    // title "Titel", five empty); then the count of chapters.
    const auto number = [](uint64_t value) {
        std::string bytes;
        for (; value >= 0x80; value >>= 7)
            bytes += char((value & 0x7f) | 0x80);
        return bytes + char(value);
    };
    const size_t outcome = 0, error = 1, duration = 2, track = 4, title_length = 7, chapter_count = 7 + 1 + 5 + 5;
    const struct {
        const char *change;
        size_t at, length; ///< the bytes replaced
        std::string by;
    } rows[] = {
        {"an outcome no reader sends (not regular)", outcome, 1, number(Reading::not_regular)},
        {"an outcome that is none", outcome, 1, number(7)},
        {"a duration past a year", duration, 2, number(uint64_t(longest_ms) + 1)},
        {"a track number past 32 bits", track, 1, number(uint64_t(1) << 32)},
        {"a text longer than any tag", title_length, 1, number(most_tag_bytes + 1)},
        {"a text longer than the bytes", title_length, 1, number(1000)},
        {"more chapters than kept", chapter_count, 1, number(most_chapters + 1)},
        {"an error past 64 bits", error, 1, std::string(9, '\xff') + '\x02'},
        {"a number of eleven bytes", track, 1, std::string(10, '\x80') + '\x00'},
    };
    ASSERT_EQ(valid.substr(duration, 2), number(4200));
    ASSERT_EQ(valid.substr(title_length, 6), number(5) + "Titel");
    ASSERT_EQ(valid.substr(chapter_count, 2), number(2) + number(0));
    for (const auto &row : rows) {
        std::string changed = valid.substr(0, row.at) + row.by + valid.substr(row.at + row.length);
        EXPECT_FALSE(decode_reading(changed.data(), changed.size(), decoded)) << row.change;
    }
    EXPECT_FALSE(decode_reading(valid.data(), valid.size() - 1, decoded)) << "cut short";
    EXPECT_FALSE(decode_reading((valid + "x").data(), valid.size() + 1, decoded)) << "a byte too many";

    // A made-up length and chapter start are dropped; chapters too long for a message go, then
    // a sheet too long for one is an error.
    reading.duration_ms = longest_ms + 1;
    reading.chapters.push_back({longest_ms + 1, "spaet"});
    fit_reading(reading);
    EXPECT_EQ(reading.duration_ms, 0);
    EXPECT_EQ(reading.chapters.size(), 2u);
    reading.chapters.assign(most_chapters, {0, std::string(100, 'x')});
    EXPECT_LE(fit_reading(reading), largest_reading);
    EXPECT_TRUE(reading.chapters.empty());
    reading.sheet.files[0].tracks.assign(most_cue_tracks, {0, {}});
    for (CueTrack &cue_track : reading.sheet.files[0].tracks)
        cue_track.tags.title.assign(most_tag_bytes, 'x');
    fit_reading(reading);
    EXPECT_EQ(reading.outcome, Reading::unreadable);
    EXPECT_EQ(reading.error, EFBIG);
}

// A query as text: "^" for a negated term, then field~text (contains), field=text (equals),
// *text (anywhere) or field low..high; terms end in ";".
static std::string described(const Query &query) {
    static const char *const fields[] = {"title", "artist", "albumartist", "album", "genre", "composer",
                                         "year",  "track",  "disc",        "length", "path"};
    std::string text;
    for (const QueryTerm &term : query) {
        text += term.negated ? "^" : "";
        const std::string field = fields[size_t(term.field)];
        switch (term.kind) {
        case QueryTerm::contains: text += field + "~" + term.text; break;
        case QueryTerm::equals: text += field + "=" + term.text; break;
        case QueryTerm::anywhere: text += "*" + term.text; break;
        case QueryTerm::range:
            text += field + " " + std::to_string(term.low) + ".." + (term.high == UINT64_MAX ? "" : std::to_string(term.high));
        }
        text += ";";
    }
    return text;
}

TEST(Query, TermsAsRead) {
    const struct {
        const char *text, *read;
    } cases[] = {
        {"\xc3\xa4rger", "*\xc3\xa4rger;"},
        {"\xc3\x84RGER", "*\xc3\xa4rger;"},
        {"^genre:Rock", "^genre~rock;"},
        {"genre:=Rock", "genre=rock;"},
        {"Genre:x", "genre~x;"},
        {"artist:\"Miles Davis\"", "artist~miles davis;"},
        {"\"Miles Davis\"", "*miles davis;"},
        {" a\tb  ^c ", "*a;*b;^*c;"},
        {"\"a:b\" \"^x\" 3:30", "*a:b;*^x;*3:30;"},
        {"title: title:=", "title~;title=;"},
        {"albumartist:x composer:y path:/m", "albumartist~x;composer~y;path~/m;"},
        {"year:1970..1989 year:1980.. year:..1960", "year 1970..1989;year 1980..;year 0..1960;"},
        {"track:3 disc:=2", "track 3..3;disc 2..2;"},
        {"length:3:30 length:4m.. length:..1h2m3s", "length 210..210;length 240..;length 0..3723;"},
        {"", ""},
    };
    for (const auto &c : cases) {
        Query query;
        std::string term;
        EXPECT_EQ(parse_query(c.text, query, term), QueryError::none) << c.text;
        EXPECT_EQ(described(query), c.read) << c.text;
    }
}

TEST(Query, TermsThatCannotBeRead) {
    const struct {
        const char *text;
        QueryError error;
        const char *term;
    } cases[] = {
        {"a foo:bar", QueryError::unknown_field, "foo:bar"},
        {"Live:x", QueryError::unknown_field, "Live:x"},
        {"a year:19x0..1980", QueryError::not_numbers, "year:19x0..1980"},
        {"year:..", QueryError::not_numbers, "year:.."},
        {"year:", QueryError::not_numbers, "year:"},
        {"track:-1", QueryError::not_numbers, "track:-1"},
        {"length:3:75", QueryError::not_numbers, "length:3:75"},
        {"year:99999999999999999999", QueryError::not_numbers, "year:99999999999999999999"},
        {"a artist:\"Miles Davis", QueryError::unclosed_quote, "artist:\"Miles Davis"},
        {"\"", QueryError::unclosed_quote, "\""},
        {"a ^ b", QueryError::empty_term, "^"},
    };
    for (const auto &c : cases) {
        Query query;
        std::string term;
        EXPECT_EQ(parse_query(c.text, query, term), c.error) << c.text;
        EXPECT_EQ(term, c.term) << c.text;
    }
}

TEST(Query, Durations) {
    const struct {
        const char *text;
        bool read;
        uint64_t seconds;
    } cases[] = {
        {"90", true, 90},       {"1h2m3s", true, 3723}, {"4m", true, 240},     {"45s", true, 45},
        {"2h", true, 7200},     {"1h30m", true, 5400},  {"3:30", true, 210},   {"1:02:03", true, 3723},
        {"0:05", true, 5},      {"", false, 0},         {"m", false, 0},       {"1m2h", false, 0},
        {"1h1h", false, 0},     {"3:", false, 0},       {":30", false, 0},     {"3:60", false, 0},
        {"3:030", false, 0},    {"1:2:3:4", false, 0},  {"1.5m", false, 0},    {"-5", false, 0},
        {"5x", false, 0},       {"18446744073709551616", false, 0}, {"5124095576030432h", false, 0},
    };
    for (const auto &c : cases) {
        uint64_t seconds = 0;
        EXPECT_EQ(parse_duration(c.text, seconds), c.read) << c.text;
        if (c.read)
            EXPECT_EQ(seconds, c.seconds) << c.text;
    }
}

TEST(Selection, LimitsSortKeysAndModes) {
    const struct {
        const char *text;
        bool read;
        Limit::Kind kind;
        uint64_t amount;
    } limits[] = {
        {"20", true, Limit::count, 20},    {"90m", true, Limit::duration, 5400000}, {"1h30m", true, Limit::duration, 5400000},
        {"45s", true, Limit::duration, 45000}, {"3:30", true, Limit::duration, 210000}, {"0", false, Limit::none, 0},
        {"0s", false, Limit::none, 0},     {"lots", false, Limit::none, 0},          {"", false, Limit::none, 0},
        {"-1", false, Limit::none, 0},     {"18446744073709552s", false, Limit::none, 0},
    };
    for (const auto &c : limits) {
        Limit limit;
        EXPECT_EQ(parse_limit(c.text, limit), c.read) << c.text;
        if (c.read)
            EXPECT_TRUE(limit.kind == c.kind && limit.amount == c.amount) << c.text;
    }
    const struct {
        const char *text;
        bool read;
        const char *key; // the one that is no field
    } sorts[] = {
        {"artist,-year", true, "-year"}, {"albumartist,-length,path", true, "path"}, {"bogus", false, "bogus"},
        {"artist,,year", false, "artist,,year"}, {"", false, ""}, {"-", false, "-"}, {"--year", false, "--year"},
        {"title,Year", false, "Year"},
    };
    for (const auto &c : sorts) {
        std::vector<SortKey> keys;
        std::string key;
        EXPECT_EQ(parse_sort_keys(c.text, keys, key), c.read) << c.text;
        EXPECT_EQ(key, c.key) << c.text;
    }
    std::vector<SortKey> keys;
    std::string key;
    ASSERT_TRUE(parse_sort_keys("artist,-year", keys, key));
    EXPECT_TRUE(keys.size() == 2 && keys[0].field == Field::artist && !keys[0].descending &&
                keys[1].field == Field::year && keys[1].descending);
    ShuffleMode mode;
    EXPECT_TRUE(parse_shuffle_mode("spread", mode) && mode == ShuffleMode::spread);
    EXPECT_FALSE(parse_shuffle_mode("Albums", mode));
}

// Unicode's case folding, composed: what a query and a sort key compare.
TEST(Selection, CaseFolding) {
    const struct {
        const char *text, *folded;
    } cases[] = {
        {"\xc3\x84RGER", "\xc3\xa4rger"},        // ÄRGER
        {"A\xcc\x88rger", "\xc3\xa4rger"},        // A and a combining diaeresis
        {"\xc4RGER", "\xc3\xa4rger"},              // Latin-1, as a tag is read
        {"Stra\xc3\x9f" "e", "strasse"},           // ß
        {"\xce\xa3\xce\x91\xce\xa3", "\xcf\x83\xce\xb1\xcf\x83"}, // ΣΑΣ
        {"\xef\xac\x81ne", "fine"},                // the ligature fi
        {"MiXeD 42", "mixed 42"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(case_folded(c.text), c.folded) << c.text;
    EXPECT_EQ(base_letters("\xc3\x89lectro"), "electro"); // Électro
}

// xoshiro256** seeded by splitmix64, as its authors publish them: the same numbers everywhere.
TEST(Selection, RandomNumbersOfASeed) {
    Random zero(0), answer(42);
    EXPECT_EQ(zero.next(), 0x99ec5f36cb75f2b4u);
    EXPECT_EQ(zero.next(), 0xbf6e1f784956452au);
    EXPECT_EQ(answer.next(), 0x15780b2e0c2ec716u);
    for (uint64_t bound : {uint64_t(1), uint64_t(3), uint64_t(1) << 63, UINT64_MAX})
        for (int i = 0; i < 100; ++i)
            ASSERT_LT(answer.below(bound), bound);
}

static std::vector<Track> tracks_by(const std::string &artists) {
    std::vector<Track> tracks;
    for (char artist : artists) {
        Track track;
        track.file = 0;
        track.tags.artist = std::string(1, artist);
        track.tags.title = std::to_string(tracks.size());
        tracks.push_back(track);
    }
    return tracks;
}

// Three tracks shuffled 60,000 times: each of the six orders about 10,000 times.
TEST(Shuffle, EveryOrderEquallyLikely) {
    MediaFiles files;
    Random random(7);
    std::map<std::string, int> seen;
    for (int i = 0; i < 60000; ++i) {
        std::vector<Track> tracks = tracks_by("abc");
        shuffle_tracks(tracks, ShuffleMode::tracks, random, files);
        ++seen[tracks[0].tags.artist + tracks[1].tags.artist + tracks[2].tags.artist];
    }
    EXPECT_EQ(seen.size(), 6u);
    for (const auto &order : seen)
        EXPECT_NEAR(order.second, 10000, 500) << order.first;
}

// Spread, for many seeds: no artist twice in a row where the list allows it, and where one
// artist holds too many, as few of theirs in a row as can be; every track once.
TEST(Shuffle, SpreadKeepsArtistsApart) {
    MediaFiles files;
    const struct {
        const char *artists;
        int least_neighbours;
    } cases[] = {{"aaabbbc", 0}, {"aaaabbbb", 0}, {"aaaab  ", 0}, {"aaaaabb", 2}, {"aaaa", 3}, {"a", 0}, {"   ", 0}};
    for (const auto &c : cases)
        for (uint64_t seed = 0; seed < 200; ++seed) {
            Random random(seed);
            std::vector<Track> tracks = tracks_by(c.artists);
            for (Track &track : tracks)
                if (track.tags.artist == " ")
                    track.tags.artist.clear(); // without an artist: next to anyone
            shuffle_tracks(tracks, ShuffleMode::spread, random, files);
            int neighbours = 0;
            std::string titles;
            for (size_t i = 0; i < tracks.size(); ++i) {
                neighbours += i > 0 && !tracks[i].tags.artist.empty() && tracks[i].tags.artist == tracks[i - 1].tags.artist;
                titles += tracks[i].tags.title;
            }
            std::sort(titles.begin(), titles.end());
            EXPECT_EQ(titles, std::string("0123456789").substr(0, tracks.size())) << c.artists;
            EXPECT_EQ(neighbours, c.least_neighbours) << c.artists << " seed " << seed;
        }
}

// A message of requests is taken whole or not at all: each request with its descriptor, at
// most four; a descriptor of a message refused is not left open.
TEST(ReaderChannel, RequestsTakenOnlyWithTheirDescriptors) {
    const struct {
        unsigned requests, descriptors;
        bool taken;
    } cases[] = {
        {1, 1, true}, {4, 4, true}, {2, 1, false}, {1, 2, false}, {1, 0, false}, {5, 5, false},
    };
    for (const auto &c : cases) {
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair), 0);
        ReadRequest sent[5] = {};
        int fds[5];
        for (unsigned i = 0; i < 5; ++i) {
            sent[i].size = i;
            sent[i].extension[0] = char('a' + i);
            fds[i] = open("/dev/null", O_RDONLY);
        }
        iovec part = {sent, sizeof(ReadRequest) * c.requests};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof fds)];
        msghdr message = {};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        if (c.descriptors > 0) {
            message.msg_control = control;
            message.msg_controllen = CMSG_SPACE(sizeof(int) * c.descriptors);
            cmsghdr *header = CMSG_FIRSTHDR(&message);
            *header = {CMSG_LEN(sizeof(int) * c.descriptors), SOL_SOCKET, SCM_RIGHTS};
            memcpy(CMSG_DATA(header), fds, sizeof(int) * c.descriptors);
        }
        ASSERT_GE(sendmsg(pair[0], &message, 0), 0);
        for (int fd : fds)
            close(fd);
        int first_free = dup(0);
        close(first_free);
        ReadRequests received;
        ASSERT_EQ(receive_requests(pair[1], received), c.taken) << c.requests << " for " << c.descriptors;
        if (c.taken) {
            ASSERT_EQ(received.count, c.requests);
            for (unsigned i = 0; i < c.requests; ++i) {
                EXPECT_EQ(received.requests[i].size, int64_t(i));
                EXPECT_EQ(received.requests[i].extension[0], char('a' + i));
                EXPECT_EQ(close(received.fds[i]), 0);
            }
        } else {
            EXPECT_EQ(errno, ECONNRESET);
        }
        int next_free = dup(0);
        close(next_free);
        EXPECT_EQ(next_free, first_free) << c.requests << " for " << c.descriptors << ": a descriptor left open";
        close(pair[0]);
        close(pair[1]);
    }
}
// The readings' cache, in a scratch folder. One run keeps, the next looks up.
namespace {
struct CacheScratch {
    std::string folder, file;
    MediaFiles files;
    CacheScratch() {
        char scratch_template[] = "/tmp/lodrix-cache.XXXXXX";
        folder = mkdtemp(scratch_template) ? scratch_template : "";
        file = folder + "/readings.sqlite";
        files.folders = {"/music/Album"};
        for (const char *name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3", "f.mp3"})
            files.files.push_back({0, MediaFiles::Kind::media, name});
    }
    ~CacheScratch() { std::filesystem::remove_all(folder); }
};
const int64_t hour_ns = int64_t(3600) * 1000000000;
const FileIdentity old_file = {8, 9, 1000, wall_clock_ns() - hour_ns, wall_clock_ns() - hour_ns};
Reading measured_reading() {
    Reading reading = {Reading::measured, 1234, 0};
    reading.tags.title = "Titel";
    reading.chapters = {{0, "Eins"}, {600, "Zwei"}};
    return reading;
}
} // namespace

// Any difference in the file's identity or the reading version reads it again.
TEST(ReadingCache, FoundOnlyForTheSameFileAndVersion) {
    CacheScratch scratch;
    {
        ReadingCache cache(scratch.file, scratch.files, 7);
        cache.keep(0, old_file, measured_reading());
    }
    const struct {
        const char *change;
        void (*make)(FileIdentity &identity, int64_t &version);
        bool found;
    } cases[] = {
        {"none", [](FileIdentity &, int64_t &) {}, true},
        {"device", [](FileIdentity &identity, int64_t &) { ++identity.device; }, false},
        {"inode", [](FileIdentity &identity, int64_t &) { ++identity.inode; }, false},
        {"size", [](FileIdentity &identity, int64_t &) { ++identity.size; }, false},
        {"modification time, 1 ns", [](FileIdentity &identity, int64_t &) { ++identity.modified_ns; }, false},
        {"change time, 1 ns", [](FileIdentity &identity, int64_t &) { ++identity.changed_ns; }, false},
        {"reading version", [](FileIdentity &, int64_t &version) { ++version; }, false},
    };
    for (const auto &c : cases) {
        FileIdentity identity = old_file;
        int64_t version = 7;
        c.make(identity, version);
        ReadingCache cache(scratch.file, scratch.files, version);
        Reading found = {Reading::unreadable, 0, 0};
        EXPECT_EQ(cache.find(0, identity, found), c.found) << c.change;
        EXPECT_EQ(found.duration_ms, c.found ? 1234 : 0) << c.change;
        EXPECT_EQ(found.chapters.size(), c.found ? 2u : 0u) << c.change;
    }
}

// Kept is only what would come out the same next time.
TEST(ReadingCache, KeepsOnlyWhatAReadWouldRepeat) {
    CacheScratch scratch;
    const int64_t second_ago = wall_clock_ns() - 1000000000;
    const struct {
        const char *reading;
        Reading::Outcome outcome;
        int error;
        int64_t modified_ns, changed_ns;
        bool kept;
    } cases[] = {
        {"measured", Reading::measured, 0, old_file.modified_ns, old_file.changed_ns, true},
        {"a file modified a second ago", Reading::measured, 0, second_ago, second_ago, false},
        {"a file changed a second ago, its time set back", Reading::measured, 0, old_file.modified_ns, second_ago, false},
        {"too slow", Reading::unreadable, too_slow, old_file.modified_ns, old_file.changed_ns, false},
        {"a reader lost", Reading::unreadable, reader_ended_by(SIGSEGV), old_file.modified_ns, old_file.changed_ns, false},
        {"a read error", Reading::unreadable, EIO, old_file.modified_ns, old_file.changed_ns, false},
    };
    {
        ReadingCache cache(scratch.file, scratch.files);
        for (size_t i = 0; i < std::size(cases); ++i) {
            Reading reading = measured_reading();
            reading.outcome = cases[i].outcome;
            reading.error = cases[i].error;
            cache.keep(i, {1, i, 1000, cases[i].modified_ns, cases[i].changed_ns}, reading);
        }
    }
    ReadingCache cache(scratch.file, scratch.files);
    for (size_t i = 0; i < std::size(cases); ++i) {
        Reading found;
        EXPECT_EQ(cache.find(i, {1, i, 1000, cases[i].modified_ns, cases[i].changed_ns}, found), cases[i].kept)
            << cases[i].reading;
    }
}

// What the database holds is checked as a reader's answer is; a database that is not the
// cache's is moved aside with one message, and a new one made.
TEST(ReadingCache, DamagedDatabaseReadAgainOrMovedAside) {
    const struct {
        const char *damage;
        const char *sql; ///< null: the file is written with other bytes
        bool moved;
    } cases[] = {
        {"a reading cut short", "UPDATE readings SET reading = substr(reading, 1, 30)", false},
        {"a reading with more bytes", "UPDATE readings SET reading = reading || x'00'", false},
        {"an outcome no kept reading has", "UPDATE readings SET reading = x'02' || substr(reading, 2)", false},
        {"no SQLite database", nullptr, true},
        {"another schema", "DROP TABLE readings; CREATE TABLE readings (path TEXT)", true},
    };
    for (const auto &c : cases) {
        CacheScratch scratch;
        {
            ReadingCache cache(scratch.file, scratch.files);
            cache.keep(0, old_file, measured_reading());
        }
        sqlite3 *database = nullptr;
        // Another program's file in its place, without the database's log.
        if (c.sql == nullptr) {
            std::ofstream(scratch.file) << "lodrix readings, but not in SQLite";
            std::filesystem::remove(scratch.file + "-wal");
        } else
            ASSERT_EQ(sqlite3_open(scratch.file.c_str(), &database), SQLITE_OK) << c.damage;
        if (c.sql != nullptr)
            EXPECT_EQ(sqlite3_exec(database, c.sql, nullptr, nullptr, nullptr), SQLITE_OK) << c.damage;
        sqlite3_close(database);
        testing::internal::CaptureStderr();
        {
            ReadingCache cache(scratch.file, scratch.files);
            Reading found;
            EXPECT_FALSE(cache.find(0, old_file, found)) << c.damage;
            cache.keep(0, old_file, measured_reading());
        }
        std::string messages = testing::internal::GetCapturedStderr();
        EXPECT_EQ(messages, c.moved ? "lodrix-playlist: " + scratch.file + ": Zwischenspeicher beschaedigt, nach " +
                                          scratch.file + ".broken verschoben\n"
                                    : "")
            << c.damage;
        EXPECT_EQ(std::filesystem::exists(scratch.file + ".broken"), c.moved) << c.damage;
        ReadingCache cache(scratch.file, scratch.files);
        Reading found;
        EXPECT_TRUE(cache.find(0, old_file, found)) << c.damage << ": the reading is not kept anew";
    }
}

// A run marks what it used (a week at a time); the first run of a day drops what no run used
// for 60 days (marks a week behind: 67).
TEST(ReadingCache, DropsWhatNoRunUsedFor60Days) {
    CacheScratch scratch;
    const int64_t days_unused[] = {8, 67, 68};
    {
        ReadingCache cache(scratch.file, scratch.files);
        for (size_t i = 0; i < std::size(days_unused); ++i)
            cache.keep(i, {1, i, 1000, old_file.modified_ns, old_file.changed_ns}, measured_reading());
    }
    sqlite3 *database = nullptr;
    ASSERT_EQ(sqlite3_open(scratch.file.c_str(), &database), SQLITE_OK);
    for (size_t i = 0; i < std::size(days_unused); ++i) {
        std::string sql = "UPDATE readings SET used_day = used_day - " + std::to_string(days_unused[i]) +
                          " WHERE name = CAST('" + scratch.files.files[i].name + "' AS BLOB)";
        EXPECT_EQ(sqlite3_exec(database, (sql + "; UPDATE dropped SET day = day - 1").c_str(), nullptr, nullptr, nullptr),
                  SQLITE_OK);
    }
    {
        ReadingCache cache(scratch.file, scratch.files);
        Reading found;
        EXPECT_TRUE(cache.find(0, {1, 0, 1000, old_file.modified_ns, old_file.changed_ns}, found));
    }
    std::vector<std::pair<std::string, int64_t>> left;
    sqlite3_stmt *rows = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(database, "SELECT CAST(name AS TEXT), (SELECT day FROM dropped) - used_day FROM readings ORDER BY name",
                                 -1, &rows, nullptr),
              SQLITE_OK);
    while (sqlite3_step(rows) == SQLITE_ROW)
        left.push_back({(const char *)sqlite3_column_text(rows, 0), sqlite3_column_int64(rows, 1)});
    sqlite3_finalize(rows);
    sqlite3_close(database);
    EXPECT_EQ(left, (std::vector<std::pair<std::string, int64_t>>{{"a.mp3", 0}, {"b.mp3", 67}}));
}

// A reader forked after the cache was opened has no mapping of its shared memory (the WAL's
// index), so it cannot write into the database behind the program.
TEST(ReadingCache, ForkedProcessHasNoMappingOfIt) {
    CacheScratch scratch;
    ReadingCache cache(scratch.file, scratch.files);
    Reading found;
    cache.find(0, old_file, found);
    auto mapped = [&] {
        std::ifstream maps("/proc/self/maps");
        std::string line;
        while (std::getline(maps, line))
            if (line.find(scratch.file + "-shm") != std::string::npos)
                return true;
        return false;
    };
    ASSERT_TRUE(mapped()) << "the program itself maps no " << scratch.file << "-shm";
    pid_t child = fork();
    if (child == 0)
        _exit(mapped() ? 1 : 0);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "the forked process maps the WAL's index";
}
