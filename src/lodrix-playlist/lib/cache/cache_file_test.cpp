// The readings' cache's file: a damaged reading read again, a damaged database of ours moved
// aside, and any other file left as it was.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

#include "lodrix-playlist/lib/cache/cache_test_scratch.h"
#include "lodrix-playlist/lib/cache/reading_checks.h"
#include "lodrix-playlist/lib/reading/reading_bytes.h"

namespace fs = std::filesystem;

namespace {
std::string contents(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Changes one byte of the first copy of pattern in the database file, as a disk or a stray
// write would: by mask, at offset within it.
void change_byte(const std::string &file, const std::string &pattern, size_t offset, char mask) {
    std::string bytes = contents(file);
    size_t at = bytes.find(pattern);
    ASSERT_NE(at, std::string::npos) << "no such bytes in " << file;
    bytes[at + offset] ^= mask;
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// Every entry below folder: a link's target, a file's bytes.
std::map<std::string, std::string> snapshot(const std::string &folder) {
    std::map<std::string, std::string> entries;
    for (const auto &entry : fs::recursive_directory_iterator(folder)) {
        std::string path = entry.path().string();
        entries[path] = entry.is_symlink()        ? "-> " + fs::read_symlink(entry.path()).string()
                        : entry.is_regular_file() ? contents(path)
                                                  : "folder";
    }
    return entries;
}
} // namespace

// A reading whose bytes, checksum or length are not what was kept is read again (the file
// read, the row replaced), with one message a run, however many there are; tables of another
// shape under this program's marks are a damaged database of ours, moved aside and made anew.
TEST(ReadingCache, DamagedReadingReadAgain) {
    std::string reading_bytes;
    encode_reading(measured_reading(), reading_bytes);
    Reading oversized = measured_reading();
    oversized.chapters.assign(largest_reading / most_tag_bytes + 1, {0, std::string(most_tag_bytes, 'x')});
    std::string oversized_bytes;
    encode_reading(oversized, oversized_bytes);
    auto sql = [](const char *statement) { return [=](CacheScratch &scratch) { scratch.execute(statement); }; };
    // Bytes of a reading: outcome, error, duration (1234: two bytes), three tag numbers, then
    // the title's length and "Titel".
    const struct {
        const char *damage;
        std::function<void(CacheScratch &)> make;
        int left; ///< of the two readings, still found
        bool moved = false;
    } cases[] = {
        {"a reading cut short", sql("UPDATE readings SET reading = substr(reading, 1, 30)"), 0},
        {"a reading with a byte more", sql("UPDATE readings SET reading = reading || x'00'"), 0},
        {"an outcome no kept reading has", sql("UPDATE readings SET reading = x'02' || substr(reading, 2)"), 0},
        {"a bit of the checksum", sql("UPDATE readings SET checksum = (checksum | 1) - (checksum & 1)"), 0},
        {"a byte of a tag's text", [&](CacheScratch &scratch) {
             scratch.execute("PRAGMA wal_checkpoint(TRUNCATE)");
             change_byte(scratch.file, reading_bytes, 10, 't' ^ 'E');
         }, 1},
        {"a byte of the duration", [&](CacheScratch &scratch) {
             scratch.execute("PRAGMA wal_checkpoint(TRUNCATE)");
             change_byte(scratch.file, reading_bytes, 2, 1);
         }, 1},
        {"longer than a reader may answer, with its checksum", [&](CacheScratch &scratch) {
             uint32_t checksum = reading_checksum(scratch.files.folders[0], "a.mp3",
                                                  {1, 0, 1000, old_file.modified_ns, old_file.changed_ns}, 1, 0,
                                                  oversized_bytes.data(), oversized_bytes.size());
             sqlite3 *database = nullptr;
             sqlite3_stmt *update = nullptr;
             ASSERT_EQ(sqlite3_open(scratch.file.c_str(), &database), SQLITE_OK);
             ASSERT_EQ(sqlite3_prepare_v2(database, "UPDATE readings SET reading = ?1, checksum = ?2 WHERE name = CAST('a.mp3' AS BLOB)",
                                          -1, &update, nullptr), SQLITE_OK);
             sqlite3_bind_blob(update, 1, oversized_bytes.data(), int(oversized_bytes.size()), SQLITE_STATIC);
             sqlite3_bind_int64(update, 2, checksum);
             EXPECT_EQ(sqlite3_step(update), SQLITE_DONE);
             sqlite3_finalize(update);
             sqlite3_close(database);
         }, 1},
        {"tables of another shape, the change in the log",
         [](CacheScratch &scratch) { scratch.execute("DROP TABLE readings; CREATE TABLE readings (path TEXT)", true); }, 0,
         true},
    };
    for (const auto &c : cases) {
        CacheScratch scratch;
        {
            auto cache = scratch.open(1);
            for (size_t i = 0; i < 2; ++i)
                cache->keep(i, {1, i, 1000, old_file.modified_ns, old_file.changed_ns}, 0, measured_reading());
        }
        c.make(scratch);
        testing::internal::CaptureStderr();
        {
            auto cache = scratch.open(1);
            int left = 0;
            for (size_t i = 0; i < 2; ++i) {
                Reading found;
                FileIdentity identity = {1, i, 1000, old_file.modified_ns, old_file.changed_ns};
                if (cache->find(i, identity, found))
                    left += found.duration_ms == 1234 && found.tags.title == "Titel";
                else
                    cache->keep(i, identity, 0, measured_reading());
            }
            EXPECT_EQ(left, c.left) << c.damage;
        }
        std::string messages = testing::internal::GetCapturedStderr();
        std::string name = "lodrix-playlist: " + scratch.file + ": ";
        EXPECT_EQ(messages, name + (c.moved ? "cache damaged, moved to " + scratch.file + ".broken\n"
                                            : "damaged entries in the cache, read again\n"))
            << c.damage;
        EXPECT_EQ(fs::exists(scratch.file + ".broken"), c.moved) << c.damage;
        // Moved with its log, the last commits still in it.
        if (c.moved)
            EXPECT_EQ(scratch.rows("SELECT name FROM pragma_table_info('readings')", scratch.file + ".broken"), "path\n");
        auto cache = scratch.open(1);
        for (size_t i = 0; i < 2; ++i) {
            Reading found;
            EXPECT_TRUE(cache->find(i, {1, i, 1000, old_file.modified_ns, old_file.changed_ns}, found))
                << c.damage << ": reading " << i << " is not kept anew";
        }
    }
}

// Only a missing or empty file, or a database of ours, becomes the cache: another program's
// file, a database in either journal mode (with commits still in its log), a link to one or to
// an empty file, is left byte for byte as it was, with one message; a folder or a device is
// no regular file.
TEST(ReadingCache, AnotherFileLeftAsItWas) {
    auto database = [](const std::string &path, const char *sql, bool keep_log) {
        sqlite3 *other = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_db_config(other, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, int(keep_log), nullptr);
        sqlite3_close(other);
    };
    const char *rows = "CREATE TABLE items (name TEXT); INSERT INTO items VALUES ('one'); INSERT INTO items VALUES ('two')";
    const std::string wal_rows = std::string("PRAGMA journal_mode = WAL; ") + rows;
    const struct {
        const char *file;
        std::function<std::string(const std::string &folder)> make; ///< the path to name
        const char *message; ///< after "lodrix-playlist: PATH: "; null: none, the cache is used
    } cases[] = {
        {"a text file", [](const std::string &folder) {
             std::ofstream(folder + "/notes") << "lodrix readings, but not in SQLite";
             return folder + "/notes";
         }, "not a lodrix cache, going on without it"},
        {"another program's database", [&](const std::string &folder) {
             database(folder + "/library.db", rows, false);
             return folder + "/library.db";
         }, "not a lodrix cache, going on without it"},
        {"another program's database, its last commits in its log", [&](const std::string &folder) {
             database(folder + "/library.db", wal_rows.c_str(), true);
             EXPECT_GT(fs::file_size(folder + "/library.db-wal"), 0u);
             return folder + "/library.db";
         }, "not a lodrix cache, going on without it"},
        {"a symbolic link to another program's database", [&](const std::string &folder) {
             database(folder + "/library.db", rows, false);
             fs::create_symlink(folder + "/library.db", folder + "/link");
             return folder + "/link";
         }, "not a lodrix cache, going on without it"},
        {"a symbolic link to an empty file", [](const std::string &folder) {
             std::ofstream(folder + "/empty");
             fs::create_symlink(folder + "/empty", folder + "/link");
             return folder + "/link";
         }, "not a lodrix cache, going on without it"},
        {"a symbolic link to nothing", [](const std::string &folder) {
             fs::create_symlink(folder + "/nothing", folder + "/link");
             return folder + "/link";
         }, "not a lodrix cache, going on without it"},
        {"a folder", [](const std::string &folder) { return folder; },
         "cache not usable, going on without it: not a regular file"},
        {"a device", [](const std::string &) { return std::string("/dev/null"); },
         "cache not usable, going on without it: not a regular file"},
        {"an empty file", [](const std::string &folder) {
             std::ofstream(folder + "/empty");
             return folder + "/empty";
         }, nullptr},
        {"a symbolic link to our own cache", [](const std::string &folder) {
             fs::create_symlink(folder + "/readings.sqlite", folder + "/link");
             return folder + "/link";
         }, nullptr},
    };
    for (const auto &c : cases) {
        CacheScratch scratch;
        scratch.open(1)->keep(0, old_file, 0, measured_reading());
        std::string named = c.make(scratch.folder);
        auto before = snapshot(scratch.folder);
        testing::internal::CaptureStderr();
        scratch.open(1, named)->keep(1, {1, 1, 1000, old_file.modified_ns, old_file.changed_ns}, 0, measured_reading());
        Reading found;
        EXPECT_EQ(scratch.open(1, named)->find(1, {1, 1, 1000, old_file.modified_ns, old_file.changed_ns}, found),
                  c.message == nullptr)
            << c.file;
        std::string messages = testing::internal::GetCapturedStderr(), line;
        if (c.message != nullptr)
            line = "lodrix-playlist: " + named + ": " + c.message + "\n";
        EXPECT_EQ(messages, line + line) << c.file << ": not one message a run";
        if (c.message != nullptr)
            EXPECT_TRUE(snapshot(scratch.folder) == before) << c.file << ": changed";
    }
}
