// lodrix-playlist's own logic, without VLC: natural order, the extension rule, the walk, the
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

#include "lodrix-playlist/text/text.h"
#include "lodrix-playlist/walk/media_files.h"
#include "lodrix-playlist/read/reader.h"
#include "lodrix-playlist/read/reading_cache.h"
#include "lodrix-playlist/read/sandbox.h"

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
            files.files.push_back({0, name});
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
        if (c.sql == nullptr)
            std::ofstream(scratch.file) << "lodrix readings, but not in SQLite";
        else
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
