#pragma once

// The readings' cache's tests: a scratch folder for the database, files to keep readings of,
// and what another program would do to the database.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "lodrix-playlist/lib/cache/reading_cache.h"
#include "lodrix-playlist/lib/system/system.h"

struct CacheScratch {
    std::string folder, file;
    MediaFiles files;
    /// real: the files are named in the scratch folder, not in a made-up one.
    explicit CacheScratch(bool real = false) {
        char scratch_template[] = "/tmp/lodrix-cache.XXXXXX";
        folder = mkdtemp(scratch_template) ? scratch_template : "";
        file = folder + "/readings.sqlite";
        files.folders = {real ? folder : "/music/Album"};
        for (char name = 'a'; name <= 'j'; ++name)
            files.files.push_back({0, MediaFiles::Kind::media, std::string(1, name) + ".mp3"});
    }
    ~CacheScratch() { std::filesystem::remove_all(folder); }

    /// A cache opened as a run opens it, on file or named.
    std::unique_ptr<ReadingCache> open(int64_t version, const std::string &named = "") {
        auto cache = std::make_unique<ReadingCache>(named.empty() ? file : named, files, version);
        cache->open();
        return cache;
    }
    /// Runs sql on the database as another program would, which then copies its log into it
    /// (or, with in_log, leaves the commit there).
    void execute(const std::string &sql, bool in_log = false) {
        sqlite3 *database = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &database), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(database, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
        sqlite3_db_config(database, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, int(in_log), nullptr);
        sqlite3_close(database);
    }
    /// The first column of sql's rows on the database (or another), a line each.
    std::string rows(const std::string &sql, const std::string &other = "") {
        sqlite3 *database = nullptr;
        sqlite3_stmt *statement = nullptr;
        std::string lines;
        if (sqlite3_open((other.empty() ? file : other).c_str(), &database) == SQLITE_OK &&
            sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK)
            while (sqlite3_step(statement) == SQLITE_ROW)
                lines += std::string((const char *)sqlite3_column_text(statement, 0)) + "\n";
        sqlite3_finalize(statement);
        sqlite3_close(database);
        return lines;
    }
};

inline const int64_t hour_ns = int64_t(3600) * 1000000000;
inline const FileIdentity old_file = {8, 9, 1000, wall_clock_ns() - hour_ns, wall_clock_ns() - hour_ns};
inline Reading measured_reading() {
    Reading reading = {Reading::measured, 1234, 0};
    reading.tags.title = "Titel";
    reading.chapters = {{0, "Eins"}, {600, "Zwei"}};
    return reading;
}
