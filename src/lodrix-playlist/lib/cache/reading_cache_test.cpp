// The readings' cache, in a scratch folder: what it keeps and finds, and how it stays small.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "lodrix-playlist/lib/cache/cache_test_scratch.h"
#include "lodrix-playlist/lib/reading/reading_bytes.h"

// Any difference in the file's identity or the reading version reads it again.
TEST(ReadingCache, FoundOnlyForTheSameFileAndVersion) {
    CacheScratch scratch;
    scratch.open(7)->keep(0, old_file, 0, measured_reading());
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
        auto cache = scratch.open(version);
        Reading found = {Reading::unreadable, 0, 0};
        EXPECT_EQ(cache->find(0, identity, found), c.found) << c.change;
        EXPECT_EQ(found.duration_ms, c.found ? 1234 : 0) << c.change;
        EXPECT_EQ(found.chapters.size(), c.found ? 2u : 0u) << c.change;
    }
}

// Kept is only what would come out the same next time, and within what a reader may answer.
TEST(ReadingCache, KeepsOnlyWhatAReadWouldRepeat) {
    CacheScratch scratch;
    const int64_t second_ago = wall_clock_ns() - 1000000000;
    Reading oversized = measured_reading();
    oversized.chapters.assign(largest_reading / most_tag_bytes + 1, {0, std::string(most_tag_bytes, 'x')});
    const struct {
        const char *reading;
        Reading::Outcome outcome;
        int error;
        int64_t modified_ns, changed_ns;
        bool kept;
        bool oversized = false;
    } cases[] = {
        {"measured", Reading::measured, 0, old_file.modified_ns, old_file.changed_ns, true},
        {"a file modified a second ago", Reading::measured, 0, second_ago, second_ago, false},
        {"a file changed a second ago, its time set back", Reading::measured, 0, old_file.modified_ns, second_ago, false},
        {"too slow", Reading::unreadable, too_slow, old_file.modified_ns, old_file.changed_ns, false},
        {"a reader lost", Reading::unreadable, reader_ended_by(SIGSEGV), old_file.modified_ns, old_file.changed_ns, false},
        {"a read error", Reading::unreadable, EIO, old_file.modified_ns, old_file.changed_ns, false},
        {"longer than a reader may answer", Reading::measured, 0, old_file.modified_ns, old_file.changed_ns, false, true},
    };
    {
        auto cache = scratch.open(1);
        for (size_t i = 0; i < std::size(cases); ++i) {
            Reading reading = cases[i].oversized ? oversized : measured_reading();
            reading.outcome = cases[i].outcome;
            reading.error = cases[i].error;
            cache->keep(i, {1, i, 1000, cases[i].modified_ns, cases[i].changed_ns}, 0, reading);
        }
    }
    auto cache = scratch.open(1);
    for (size_t i = 0; i < std::size(cases); ++i) {
        Reading found;
        EXPECT_EQ(cache->find(i, {1, i, 1000, cases[i].modified_ns, cases[i].changed_ns}, found), cases[i].kept)
            << cases[i].reading;
    }
    EXPECT_EQ(scratch.rows("SELECT count(*) FROM readings"), "1\n") << "rows stored that no run finds";
}

// Where the file system keeps no change time (the suite's hook makes this one such), a file
// retagged in place, its size and time kept, is read again where its first or last 64 KiB
// changed; elsewhere it is not (the audio, where no tag lives).
TEST(ReadingCache, FingerprintWhereNoChangeTimeIsKept) {
    const int64_t size = 300 * 1024;
    const struct {
        const char *change;
        int64_t at; ///< -1: none
        bool found;
    } cases[] = {
        {"none", -1, true},
        {"a byte of the first 64 KiB", 100, false},
        {"a byte of the last 64 KiB", size - 100, false},
        {"a byte between them", size / 2, true},
    };
    for (const auto &c : cases) {
        CacheScratch scratch(true);
        std::string path = scratch.folder + "/a.mp3";
        std::ofstream(path) << std::string(size_t(size), 'a');
        const struct timespec hour_ago[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), hour_ago, 0), 0);
        FileIdentity identity;
        int64_t opened_size;
        int fd = open_media_file(path, opened_size, identity);
        ASSERT_GE(fd, 0);
        {
            auto cache = scratch.open(1);
            EXPECT_EQ(cache->fingerprint(0, fd, identity), 0) << "a fingerprint where the change time is kept";
        }
        ASSERT_EQ(setenv("LODRIX_TEST_NO_CHANGE_TIME", "1", 1), 0);
        {
            auto cache = scratch.open(1);
            int64_t print = cache->fingerprint(0, fd, identity);
            EXPECT_NE(print, 0) << c.change;
            cache->keep(0, identity, print, measured_reading());
        }
        close(fd);
        fd = ::open(path.c_str(), O_WRONLY);
        if (c.at >= 0)
            EXPECT_EQ(pwrite(fd, "b", 1, c.at), 1) << c.change;
        close(fd);
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), hour_ago, 0), 0);
        // Again once the folder is known to be fingerprinted: then opened without a stat first.
        auto cache = scratch.open(1);
        for (const char *lookup : {"first", "second"}) {
            Reading found;
            EXPECT_EQ(cache->find(0, found), c.found) << c.change << ", " << lookup << " lookup";
        }
        unsetenv("LODRIX_TEST_NO_CHANGE_TIME");
    }
}

// A run marks what it used (a week at a time); the first run of a day drops what no run used
// for 60 days (marks a week behind: 67).
TEST(ReadingCache, DropsWhatNoRunUsedFor60Days) {
    CacheScratch scratch;
    const int64_t days_unused[] = {8, 67, 68};
    {
        auto cache = scratch.open(1);
        for (size_t i = 0; i < std::size(days_unused); ++i)
            cache->keep(i, {1, i, 1000, old_file.modified_ns, old_file.changed_ns}, 0, measured_reading());
    }
    for (size_t i = 0; i < std::size(days_unused); ++i)
        scratch.execute("UPDATE readings SET used_day = used_day - " + std::to_string(days_unused[i]) +
                        " WHERE name = CAST('" + scratch.files.files[i].name + "' AS BLOB); UPDATE dropped SET day = day - 1");
    {
        Reading found;
        EXPECT_TRUE(scratch.open(1)->find(0, {1, 0, 1000, old_file.modified_ns, old_file.changed_ns}, found));
    }
    EXPECT_EQ(scratch.rows("SELECT CAST(name AS TEXT) || ' ' || ((SELECT day FROM dropped) - used_day) FROM readings"
                           " ORDER BY name"),
              "a.mp3 0\nb.mp3 67\n");
}

// After a drop that leaves 10 of 100,000 readings, the database is small again and its log
// empty; the 10 are still found.
TEST(ReadingCache, SmallAfterAShrink) {
    CacheScratch scratch;
    const size_t left = scratch.files.files.size();
    ASSERT_EQ(left, 10u);
    {
        auto cache = scratch.open(1);
        for (size_t i = 0; i < left; ++i)
            cache->keep(i, {1, i, 1000, old_file.modified_ns, old_file.changed_ns}, 0, measured_reading());
    }
    scratch.execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 99990)"
                    " INSERT INTO readings (folder, name, device, inode, size, modified_ns, changed_ns, version,"
                    " fingerprint, checksum, used_day, reading) SELECT 1, CAST(i AS BLOB), 1, i, 1, 1, 1, 1, 0, 0, 0,"
                    " randomblob(100) FROM n; UPDATE dropped SET day = day - 1");
    auto size = [&](const char *suffix) {
        std::error_code error;
        uintmax_t bytes = std::filesystem::file_size(scratch.file + suffix, error);
        return error ? 0 : bytes;
    };
    ASSERT_GT(size("") + size("-wal"), 10u << 20) << "100,000 readings in fewer bytes";
    scratch.open(1).reset();
    EXPECT_LE(size(""), 8u * 16384) << "the database, 10 readings left";
    EXPECT_EQ(size("-wal"), 0u) << "its log";
    auto cache = scratch.open(1);
    for (size_t i = 0; i < left; ++i) {
        Reading found;
        EXPECT_TRUE(cache->find(i, {1, i, 1000, old_file.modified_ns, old_file.changed_ns}, found)) << i;
    }
}

// A reader forked after the cache was opened has no mapping of its shared memory (the WAL's
// index), so it cannot write into the database behind the program.
TEST(ReadingCache, ForkedProcessHasNoMappingOfIt) {
    CacheScratch scratch;
    auto cache = scratch.open(1);
    Reading found;
    cache->find(0, old_file, found);
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
