// Upkeep, once the list is written: readings no run used for long dropped, a database that
// is mostly free pages compacted and its log emptied, the connections closed.
#include "lodrix-playlist/lib/cache/reading_cache.h"

#include <stdio.h>

#include <sqlite3.h>

static const int64_t unused_days = 60;

ReadingCache::~ReadingCache() {
    // No lookup comes once the pool has ended; an open read would keep the log from emptying.
    close_lookups();
    if (writer.joinable()) {
        {
            std::lock_guard<std::mutex> waiting_lock(waiting_mutex);
            closing = true;
        }
        batch_ready.notify_one();
        writer.join();
    }
    close_stores();
    if (damaged)
        move_aside();
}

// Once a day: the readings no run used for unused_days (marks lag by up to a week), and the
// folders left without readings. True where readings were dropped.
bool ReadingCache::drop_unused() {
    sqlite3_stmt *dropped = nullptr;
    int result = sqlite3_prepare_v2(stores_database, "SELECT day FROM dropped", -1, &dropped, nullptr);
    if (result == SQLITE_OK)
        result = sqlite3_step(dropped);
    bool due = result == SQLITE_ROW && sqlite3_column_int64(dropped, 0) < today;
    sqlite3_finalize(dropped);
    if (result != SQLITE_ROW)
        return failed(stores_database, result == SQLITE_DONE ? SQLITE_CORRUPT : result), false;
    if (!due || !begin_writing())
        return false;
    char sql[160];
    snprintf(sql, sizeof sql, "DELETE FROM readings WHERE used_day < %lld",
             (long long)(today - unused_days - mark_every_days));
    if (!execute(stores_database, sql))
        return false;
    bool any = sqlite3_changes(stores_database) > 0;
    snprintf(sql, sizeof sql,
             "DELETE FROM folders WHERE NOT EXISTS (SELECT 1 FROM readings WHERE folder = folders.id);"
             " UPDATE dropped SET day = %lld; COMMIT",
             (long long)today);
    return execute(stores_database, sql) && any;
}

// Freed pages stay in the file, and a large transaction's pages in the log: a database more
// than half free is rewritten small, and after that or a drop the log is copied over and
// emptied. Runs that read it meanwhile keep the log as it is, for the next run to empty.
void ReadingCache::compact(bool dropped) {
    sqlite3_stmt *counts = nullptr;
    int result = sqlite3_prepare_v2(stores_database,
                                    "SELECT (SELECT page_count FROM pragma_page_count),"
                                    " (SELECT freelist_count FROM pragma_freelist_count)",
                                    -1, &counts, nullptr);
    if (result == SQLITE_OK)
        result = sqlite3_step(counts);
    bool mostly_free = result == SQLITE_ROW && sqlite3_column_int64(counts, 1) * 2 > sqlite3_column_int64(counts, 0);
    sqlite3_finalize(counts);
    if (result != SQLITE_ROW)
        return failed(stores_database, result);
    if (mostly_free && !write("VACUUM"))
        return;
    if (mostly_free || dropped)
        sqlite3_exec(stores_database, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
}

void ReadingCache::close_lookups() {
    std::lock_guard<std::mutex> lock(lookup_mutex);
    for (sqlite3_stmt *statement : {find_folder, find_reading})
        sqlite3_finalize(statement);
    find_folder = find_reading = nullptr;
    sqlite3_close(lookups_database);
    lookups_database = nullptr;
    looking_up = false;
    lookups = 0;
}

void ReadingCache::close_stores() {
    for (sqlite3_stmt *statement : {find_stored_folder, add_folder, store_reading, mark_used})
        sqlite3_finalize(statement);
    find_stored_folder = add_folder = store_reading = mark_used = nullptr;
    sqlite3_close(stores_database);
    stores_database = nullptr;
}
