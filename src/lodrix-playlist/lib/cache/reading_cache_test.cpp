// The readings' cache, in a scratch folder.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "lodrix-playlist/lib/cache/reading_cache.h"
#include "lodrix-playlist/lib/reading/reading_bytes.h"
#include "lodrix-playlist/lib/system/system.h"

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
        ReadingCache cache(scratch.file, scratch.files, 1);
        for (size_t i = 0; i < std::size(cases); ++i) {
            Reading reading = measured_reading();
            reading.outcome = cases[i].outcome;
            reading.error = cases[i].error;
            cache.keep(i, {1, i, 1000, cases[i].modified_ns, cases[i].changed_ns}, reading);
        }
    }
    ReadingCache cache(scratch.file, scratch.files, 1);
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
            ReadingCache cache(scratch.file, scratch.files, 1);
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
            ReadingCache cache(scratch.file, scratch.files, 1);
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
        ReadingCache cache(scratch.file, scratch.files, 1);
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
        ReadingCache cache(scratch.file, scratch.files, 1);
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
        ReadingCache cache(scratch.file, scratch.files, 1);
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
    ReadingCache cache(scratch.file, scratch.files, 1);
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

