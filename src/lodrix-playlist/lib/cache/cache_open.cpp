// Opening the readings' cache: the database made or renewed where the file may be ours
// (cache_check.cpp), and its two connections set up.
#include "lodrix-playlist/lib/cache/reading_cache.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <exception>

#include <sqlite3.h>

#include "lodrix-playlist/lib/text/messages.h"
#include "lodrix-playlist/lib/text/text.h"

static const char unusable_message[] = N_("%s: cache not usable, going on without it: %s");
static const char not_ours_message[] = N_("%s: not a lodrix cache, going on without it");
static const char no_place_message[] = N_("no place for the cache, going on without it: %s");
static const char not_regular_reason[] = N_("not a regular file");
static const char newer_reason[] = N_("made by a newer version");

// A folder's path once, its files by name. used_day is the last day (since 1970) a run took
// the reading, marked at most once a week so that a run that finds everything writes nothing.
// Readings by rowid, found through a small index: a run stores them in the index's order, and
// rows of a few hundred bytes kept in that order would split and rebalance a page every few
// dozen stores (a third of a first run's storing), where new rowids only ever append. The
// reading comes last, so that the length of an oversized one is read without its bytes.
static const char schema_sql[] =
    "CREATE TABLE folders (id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE);"
    "CREATE TABLE readings (id INTEGER PRIMARY KEY, folder INTEGER NOT NULL, name BLOB NOT NULL,"
    " device INTEGER NOT NULL, inode INTEGER NOT NULL, size INTEGER NOT NULL, modified_ns INTEGER NOT NULL,"
    " changed_ns INTEGER NOT NULL, version INTEGER NOT NULL, fingerprint INTEGER NOT NULL,"
    " checksum INTEGER NOT NULL, used_day INTEGER NOT NULL, reading BLOB NOT NULL, UNIQUE (folder, name));"
    "CREATE TABLE dropped (day INTEGER NOT NULL);";

static const int64_t ns_per_day = int64_t(86400) * 1000000000;
// How long making or renewing the database waits for another run's lock: a batch takes
// milliseconds. A read waits far less: readers in the log wait only for a process that holds
// the whole database, and the run reads the files instead. Stores: cache_store.cpp.
static const int make_wait_ms = 5000, read_wait_ms = 100;

ReadingCache::ReadingCache(const std::string &file, const MediaFiles &files, int64_t version)
    : file(file), files(files), version(version), started_ns(wall_clock_ns()), today(started_ns / ns_per_day),
      folders(new Folder[files.folders.size()]) {}

bool ReadingCache::open() {
    if (file.empty() && !default_cache_file(file)) {
        if (file.empty())
            report(no_place_message, strerror(errno));
        else
            report(unusable_message, printable(file).c_str(), strerror(errno));
        return false;
    }
    test_without_change_time = getenv("LODRIX_TEST_NO_CHANGE_TIME") != nullptr;
    try {
        // A damaged database of ours is moved aside and made anew.
        usable = open_database();
        if (!usable && damaged) {
            close_lookups();
            close_stores();
            usable = move_aside() && open_database();
        }
        // Which of the run's folders hold readings, looked up at once: one without any then
        // costs no stat and no lock, so a first run's threads never wait for the stores.
        if (usable) {
            std::lock_guard<std::mutex> lock(lookup_mutex);
            for (size_t folder = 0; folder < files.folders.size() && in_lookups(); ++folder)
                looked_up_folder(uint32_t(folder));
            end_lookups();
        }
        // Started before any reader is forked, as the pool's threads are.
        if (usable)
            writer = std::thread([this] { write_batches(); });
    } catch (const std::exception &) { // no memory, or no thread
        usable = false;
    }
    if (!usable) {
        close_lookups();
        close_stores();
    }
    return usable;
}

bool ReadingCache::open_database() {
    std::string reason;
    Found examined = examine(reason);
    switch (examined) {
    case Found::not_ours:
        given_up = true;
        report(not_ours_message, printable(file).c_str());
        return false;
    case Found::not_regular:
        return report_unusable(translated(not_regular_reason)), false;
    case Found::unreadable:
        return report_unusable(reason.c_str()), false;
    case Found::missing:
        if (!make_private_file(file))
            return report_unusable(strerror(errno)), false;
        break;
    case Found::empty:
    case Found::ours:
        break;
    }
    // Where the system makes no private file (Windows), SQLite makes it.
    int result = sqlite3_open_v2(file.c_str(), &stores_database,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX |
                                     (examined == Found::missing ? SQLITE_OPEN_CREATE : 0),
                                 fork_safe_vfs());
    Schema found = Schema::other;
    if (result != SQLITE_OK)
        return failed(stores_database, result), false;
    if (!configure(stores_database) || !read_schema(stores_database, found) ||
        ((found == Schema::none || found == Schema::older) && !make_schema(found)))
        return false;
    // Another program's since it was examined, or a later version's: left as it is.
    if (found == Schema::other) {
        given_up = true;
        report(not_ours_message, printable(file).c_str());
        return false;
    }
    if (found == Schema::newer)
        return report_unusable(translated(newer_reason)), false;
    // From here on a crash or power cut may lose the last stores, never the database.
    if (!to_log() || !execute(stores_database, "PRAGMA synchronous = NORMAL") ||
        !prepare(stores_database,
                 {{&find_stored_folder, "SELECT id FROM folders WHERE path = ?1"},
                  {&add_folder, "INSERT OR IGNORE INTO folders (path) VALUES (?1)"},
                  {&store_reading, "INSERT OR REPLACE INTO readings (folder, name, device, inode, size, modified_ns,"
                                   " changed_ns, version, fingerprint, checksum, used_day, reading)"
                                   " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)"},
                  {&mark_used, "UPDATE readings SET used_day = ?1 WHERE folder = ?2 AND name = ?3"}}))
        return false;
    return open_lookups();
}

bool ReadingCache::open_lookups() {
    int result = sqlite3_open_v2(file.c_str(), &lookups_database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                                 fork_safe_vfs());
    if (result != SQLITE_OK)
        return failed(lookups_database, result), false;
    // The length of a reading is read without its bytes, which are read only within the limit.
    return configure(lookups_database) && execute(lookups_database, "PRAGMA query_only = 1") &&
           prepare(lookups_database,
                   {{&find_folder, "SELECT id FROM folders WHERE path = ?1"},
                    {&find_reading, "SELECT used_day, fingerprint, checksum, CASE WHEN length(reading) <= ?9"
                                    " THEN reading END FROM readings WHERE folder = ?1 AND name = ?2 AND device = ?3"
                                    " AND inode = ?4 AND size = ?5 AND modified_ns = ?6 AND changed_ns = ?7"
                                    " AND version = ?8"}});
}

// Settings of the connection alone: nothing here writes to the file.
bool ReadingCache::configure(sqlite3 *database) {
    sqlite3_extended_result_codes(database, 1);
    sqlite3_busy_timeout(database, read_wait_ms);
    // The log is copied into the database by the store that fills it past wal_autocheckpoint,
    // on the storing thread, never at the close: that copy and its two flushes to disk would
    // come after the list is written (a tenth of a first run's time over 10,000 files).
    sqlite3_db_config(database, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    // No memory mapping of the file: a forked reader would inherit it, writable. Pages of 16
    // KiB (where the database is new): each is a system call, which costs more than SQLite's
    // work for a row, and each that a commit changes is written whole. A new database is made
    // without waiting for the disk: one cut short is moved aside. A run passes most pages
    // once, so 2 MiB of them cached; more would only be fresh memory faulted in, page by page.
    // The log is copied over once it holds 256 pages (4 MiB: a first run over some 15,000
    // files), and cut back to that size when it starts over.
    return execute(database, "PRAGMA mmap_size = 0; PRAGMA page_size = 16384; PRAGMA cache_size = -2048;"
                             " PRAGMA wal_autocheckpoint = 256; PRAGMA journal_size_limit = 4194304;"
                             " PRAGMA synchronous = OFF");
}

// A new database gets the schema, in the main file before it takes the log, so that its marks
// are there for the next run to read; one of an older version is renewed. One that another
// run made meanwhile is taken as it is.
bool ReadingCache::make_schema(Schema &found) {
    char marks[160];
    snprintf(marks, sizeof marks, "PRAGMA application_id = %lld; PRAGMA user_version = %lld; INSERT INTO dropped VALUES (%lld)",
             (long long)application_id, (long long)schema_version, (long long)today);
    bool renewed = found == Schema::older;
    sqlite3_busy_timeout(stores_database, make_wait_ms);
    if (!execute(stores_database, "BEGIN IMMEDIATE") || !read_schema(stores_database, found))
        return false;
    if (found == Schema::older &&
        !execute(stores_database, "DROP TABLE IF EXISTS readings; DROP TABLE IF EXISTS folders; DROP TABLE IF EXISTS dropped"))
        return false;
    bool making = found == Schema::none || found == Schema::older;
    if ((making && !(execute(stores_database, schema_sql) && execute(stores_database, marks))) ||
        !execute(stores_database, found == Schema::other || found == Schema::newer ? "ROLLBACK" : "COMMIT"))
        return false;
    found = making ? Schema::ours : found;
    sqlite3_busy_timeout(stores_database, read_wait_ms);
    // A renewed one's marks into the main file, where the next run reads them.
    if (renewed && making)
        sqlite3_exec(stores_database, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    return true;
}

// Runs that start on a new database at once each switch it to the log: the switch takes its
// write lock from inside a read, where SQLite fails at once instead of waiting (and the run
// went on without its cache), so the run that lost waits here.
bool ReadingCache::to_log() {
    int result;
    for (int waited_ms = 0;; waited_ms += 2) {
        result = sqlite3_exec(stores_database, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        if ((result & 0xff) != SQLITE_BUSY || waited_ms >= make_wait_ms)
            break;
        sqlite3_sleep(2);
    }
    if (result != SQLITE_OK)
        failed(stores_database, result);
    return result == SQLITE_OK;
}

bool ReadingCache::prepare(sqlite3 *database,
                           std::initializer_list<std::pair<sqlite3_stmt **, const char *>> statements) {
    for (const auto &statement : statements) {
        int result = sqlite3_prepare_v3(database, statement.second, -1, SQLITE_PREPARE_PERSISTENT, statement.first,
                                        nullptr);
        // Tables of another shape under this program's marks: ours, and damaged.
        if (result != SQLITE_OK)
            return failed(database, result == SQLITE_ERROR ? SQLITE_CORRUPT : result), false;
    }
    return true;
}

bool ReadingCache::execute(sqlite3 *database, const char *sql) {
    int result = sqlite3_exec(database, sql, nullptr, nullptr, nullptr);
    if (result != SQLITE_OK)
        failed(database, result);
    return result == SQLITE_OK;
}

// Steps a statement that returns no rows and resets it.
bool ReadingCache::step(sqlite3 *database, sqlite3_stmt *statement) {
    int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (result != SQLITE_DONE)
        failed(database, result);
    return result == SQLITE_DONE;
}

// The cache is used no more: a damaged database is moved aside once both connections are
// closed, anything else is one message.
void ReadingCache::failed(sqlite3 *database, int result) {
    usable = false;
    if ((result & 0xff) == SQLITE_CORRUPT || (result & 0xff) == SQLITE_NOTADB) {
        damaged = true;
        return;
    }
    if ((result & 0xff) == SQLITE_BUSY || (result & 0xff) == SQLITE_LOCKED)
        return held_by_another();
    int error = database != nullptr ? sqlite3_system_errno(database) : 0;
    // A write cut short by a full disk is SQLITE_FULL without the system's code.
    if (error == 0 && (result & 0xff) == SQLITE_FULL)
        error = ENOSPC;
    std::string reason = system_error_text(error);
    if (reason.empty())
        reason = database != nullptr ? sqlite3_errmsg(database) : sqlite3_errstr(result);
    report_unusable(reason.c_str());
}

void ReadingCache::report_unusable(const char *reason) {
    if (!given_up.exchange(true))
        report(unusable_message, printable(file).c_str(), reason);
}
