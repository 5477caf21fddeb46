#include "lodrix-playlist/lib/cache/reading_cache.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <new>

#include <sqlite3.h>

#include "lodrix-playlist/lib/reading/reading_bytes.h"
#include "lodrix-playlist/lib/system/system.h"
#include "lodrix-playlist/lib/text/messages.h"
#include "lodrix-playlist/lib/text/text.h"

static const char unusable_message[] = "%s: Zwischenspeicher nicht nutzbar, weiter ohne ihn: %s";
static const char broken_message[] = "%s: Zwischenspeicher beschaedigt, nach %s.broken verschoben";
static const char no_place_message[] = "kein Ort fuer den Zwischenspeicher, weiter ohne ihn: %s";

// The schema's marks: a database with others is not this program's cache.
static const int64_t application_id = 0x4C445258; // "LDRX"
static const int64_t schema_version = 1;
// A folder's path once, its files by name. used_day is the last day (since 1970) a run took
// the reading, marked at most once a week so that a run that finds everything writes nothing.
// Readings by rowid, found through a small index: a run stores them in the index's order, and
// rows of a few hundred bytes kept in that order would split and rebalance a page every few
// dozen stores (a third of a first run's storing), where new rowids only ever append.
static const char schema_sql[] =
    "CREATE TABLE folders (id INTEGER PRIMARY KEY, path BLOB NOT NULL UNIQUE);"
    "CREATE TABLE readings (id INTEGER PRIMARY KEY, folder INTEGER NOT NULL, name BLOB NOT NULL,"
    " device INTEGER NOT NULL, inode INTEGER NOT NULL, size INTEGER NOT NULL, modified_ns INTEGER NOT NULL,"
    " changed_ns INTEGER NOT NULL, version INTEGER NOT NULL, used_day INTEGER NOT NULL, reading BLOB NOT NULL,"
    " UNIQUE (folder, name));"
    "CREATE TABLE dropped (day INTEGER NOT NULL);";

static const int64_t ns_per_day = int64_t(86400) * 1000000000;
static const int64_t unused_days = 60, mark_every_days = 7;
// FAT keeps modification times to 2 s; a second more for a share's clock.
static const int64_t time_resolution_ns = int64_t(3) * 1000000000;
// Lookups per read transaction; readings (and their bytes) or marks per write transaction.
static const unsigned lookups_per_transaction = 256;
static const size_t stores_per_transaction = 1024, bytes_per_transaction = 1 << 20, marks_per_transaction = 1024;
// Readings waiting at most: what comes while the writer waits for another run's lock is not kept.
static const size_t most_waiting = 8 * stores_per_transaction;
// How long a write waits for another run's: a batch takes milliseconds.
static const int busy_wait_ms = 5000;

ReadingCache::ReadingCache(const std::string &file, const MediaFiles &files, int64_t version)
    : file(file), files(files), version(version), started_ns(wall_clock_ns()), today(started_ns / ns_per_day),
      folders(new Folder[files.folders.size()]) {
    std::lock_guard<std::mutex> lock(mutex);
    if (file.empty() && !default_cache_file(this->file)) {
        if (this->file.empty())
            report(no_place_message, strerror(errno));
        else
            report(unusable_message, printable(this->file).c_str(), strerror(errno));
        return;
    }
    // A database moved aside is made anew.
    usable = open() || (moved_aside && open());
    // Which of the run's folders hold readings, looked up at once: one without any then costs
    // no stat and no lock, so a first run's threads never wait for the stores.
    if (usable) {
        for (size_t folder = 0; folder < files.folders.size() && in_lookups(); ++folder)
            folder_id(uint32_t(folder), false);
        end_lookups();
    }
    // Started before any reader is forked, as the pool's threads are.
    if (usable)
        writer = std::thread([this] { write_batches(); });
}

ReadingCache::~ReadingCache() {
    if (writer.joinable()) {
        {
            std::lock_guard<std::mutex> waiting_lock(waiting_mutex);
            closing = true;
        }
        batch_ready.notify_one();
        writer.join();
    }
    std::lock_guard<std::mutex> lock(mutex);
    try {
        std::lock_guard<std::mutex> waiting_lock(waiting_mutex);
        store(waiting);
        drop_unused();
    } catch (const std::bad_alloc &) {
    }
    close();
}

// Stores each batch as it fills, apart from the threads that feed the readers.
void ReadingCache::write_batches() {
    std::unique_lock<std::mutex> waiting_lock(waiting_mutex);
    for (;;) {
        batch_ready.wait(waiting_lock, [this] {
            return closing || waiting.size() >= stores_per_transaction || waiting_bytes >= bytes_per_transaction;
        });
        if (closing)
            return;
        std::vector<Waiting> batch;
        batch.swap(waiting);
        waiting_bytes = 0;
        waiting_lock.unlock();
        {
            std::lock_guard<std::mutex> lock(mutex);
            store(batch);
        }
        waiting_lock.lock();
    }
}

// With the lock held, as every function below but find and keep.
bool ReadingCache::open() {
    if (!make_private_file(file)) {
        report(unusable_message, printable(file).c_str(), strerror(errno));
        return false;
    }
    int result = sqlite3_open_v2(file.c_str(), &database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 fork_safe_vfs());
    if (result != SQLITE_OK)
        return give_up(result), false;
    sqlite3_extended_result_codes(database, 1);
    sqlite3_busy_timeout(database, busy_wait_ms);
    // The log is copied into the database by the store that fills it past wal_autocheckpoint,
    // on the writer's thread, never at the close: that copy and its two flushes to disk would
    // come after the list is written (a tenth of a first run's time over 10,000 files).
    sqlite3_db_config(database, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    // No memory mapping of the file: a forked reader would inherit it, writable. Pages of 16
    // KiB (where the database is new): each is a system call, which costs more than SQLite's
    // work for a row, and each that a commit changes is written whole. A new database is made
    // without waiting for the disk: one cut short is moved aside. A run passes most pages
    // once, so 2 MiB of them cached; more would only be fresh memory faulted in, page by page.
    // The log is copied over once it holds 256 pages (4 MiB: a first run over some 15,000 files).
    if (!execute("PRAGMA mmap_size = 0; PRAGMA page_size = 16384; PRAGMA cache_size = -2048;"
                 " PRAGMA wal_autocheckpoint = 256; PRAGMA synchronous = OFF"))
        return false;
    // Runs that start on a new database at once each switch it to the log: the switch takes
    // its write lock from inside a read, where SQLite fails at once instead of waiting (and
    // the run went on without its cache), so the run that lost waits here.
    for (int waited_ms = 0;; waited_ms += 2) {
        result = sqlite3_exec(database, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        if ((result & 0xff) != SQLITE_BUSY || waited_ms >= busy_wait_ms)
            break;
        sqlite3_sleep(2);
    }
    if (result != SQLITE_OK)
        return give_up(result), false;
    // A new database gets the schema; one that another run made meanwhile is taken as it is.
    Schema found;
    if (!find_schema(found))
        return false;
    if (found == Schema::none) {
        // Nothing to drop today.
        char marks[160];
        snprintf(marks, sizeof marks,
                 "PRAGMA application_id = %lld; PRAGMA user_version = %lld; INSERT INTO dropped VALUES (%lld)",
                 (long long)application_id, (long long)schema_version, (long long)today);
        if (!execute("BEGIN IMMEDIATE") || !find_schema(found) ||
            (found == Schema::none && !(execute(schema_sql) && execute(marks))) || !execute("COMMIT"))
            return false;
        if (found == Schema::none)
            found = Schema::ours;
    }
    if (found != Schema::ours)
        return give_up(SQLITE_NOTADB), false;
    // From here on a crash or power cut may lose the last stores, never the database.
    return execute("PRAGMA synchronous = NORMAL") && prepare();
}

bool ReadingCache::find_schema(Schema &found) {
    sqlite3_stmt *marks = nullptr;
    int result = sqlite3_prepare_v2(database,
                                    "SELECT (SELECT application_id FROM pragma_application_id),"
                                    " (SELECT user_version FROM pragma_user_version), (SELECT count(*) FROM sqlite_schema)",
                                    -1, &marks, nullptr);
    if (result == SQLITE_OK)
        result = sqlite3_step(marks);
    if (result == SQLITE_ROW) {
        int64_t id = sqlite3_column_int64(marks, 0), schema = sqlite3_column_int64(marks, 1),
                tables = sqlite3_column_int64(marks, 2);
        found = id == application_id && schema == schema_version ? Schema::ours
                : id == 0 && schema == 0 && tables == 0          ? Schema::none
                                                                  : Schema::other;
    }
    sqlite3_finalize(marks);
    if (result != SQLITE_ROW)
        give_up(result);
    return result == SQLITE_ROW;
}

bool ReadingCache::prepare() {
    const struct {
        sqlite3_stmt **statement;
        const char *sql;
    } statements[] = {
        {&find_folder, "SELECT id FROM folders WHERE path = ?1"},
        {&add_folder, "INSERT OR IGNORE INTO folders (path) VALUES (?1)"},
        {&find_reading, "SELECT used_day, reading FROM readings WHERE folder = ?1 AND name = ?2 AND device = ?3"
                        " AND inode = ?4 AND size = ?5 AND modified_ns = ?6 AND changed_ns = ?7 AND version = ?8"},
        {&store_reading, "INSERT OR REPLACE INTO readings (folder, name, device, inode, size, modified_ns, changed_ns,"
                         " version, used_day, reading) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"},
        {&mark_used, "UPDATE readings SET used_day = ?1 WHERE folder = ?2 AND name = ?3"},
    };
    for (const auto &statement : statements) {
        int result = sqlite3_prepare_v3(database, statement.sql, -1, SQLITE_PREPARE_PERSISTENT, statement.statement,
                                        nullptr);
        // Tables of another shape under this program's marks: not its cache either.
        if (result != SQLITE_OK)
            return give_up(result == SQLITE_ERROR ? SQLITE_NOTADB : result), false;
    }
    return true;
}

bool ReadingCache::execute(const char *sql) {
    int result = database != nullptr ? sqlite3_exec(database, sql, nullptr, nullptr, nullptr) : SQLITE_MISUSE;
    if (result != SQLITE_OK && database != nullptr)
        give_up(result);
    return result == SQLITE_OK;
}

// Steps a statement that returns no rows and resets it.
bool ReadingCache::run(sqlite3_stmt *statement) {
    int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (result != SQLITE_DONE)
        give_up(result);
    return result == SQLITE_DONE;
}

void ReadingCache::close() {
    for (sqlite3_stmt *statement : {find_folder, add_folder, find_reading, store_reading, mark_used})
        sqlite3_finalize(statement);
    find_folder = add_folder = find_reading = store_reading = mark_used = nullptr;
    sqlite3_close(database);
    database = nullptr;
    usable = false;
    looking_up = false;
    lookups = 0;
}

// Closes the database after the error result, with one message; a database that is no
// cache of this program's, or a damaged one, moved aside first.
void ReadingCache::give_up(int result) {
    int error = database != nullptr ? sqlite3_system_errno(database) : 0;
    // A write cut short by a full disk is SQLITE_FULL without the system's code.
    if (error == 0 && (result & 0xff) == SQLITE_FULL)
        error = ENOSPC;
    std::string reason = system_error_text(error);
    if (reason.empty())
        reason = database != nullptr && result != SQLITE_NOTADB ? sqlite3_errmsg(database) : sqlite3_errstr(result);
    close();
    if ((result & 0xff) == SQLITE_NOTADB || (result & 0xff) == SQLITE_CORRUPT) {
        namespace fs = std::filesystem;
        std::error_code error;
        fs::rename(fs::u8path(file), fs::u8path(file + ".broken"), error);
        if (!error) {
            // The moved database's log is no new one's.
            for (const char *suffix : {"-wal", "-shm"})
                fs::remove(fs::u8path(file + suffix), error);
            report(broken_message, printable(file).c_str(), printable(file).c_str());
            moved_aside = true;
            return;
        }
        reason = error.message();
    }
    report(unusable_message, printable(file).c_str(), reason.c_str());
}

// Lookups share a read transaction, a batch at a time.
bool ReadingCache::in_lookups() {
    if (!looking_up && database != nullptr)
        looking_up = execute("BEGIN");
    return looking_up;
}

void ReadingCache::counted_lookup() {
    if (++lookups >= lookups_per_transaction)
        end_lookups();
}

void ReadingCache::end_lookups() {
    if (looking_up) {
        looking_up = false;
        lookups = 0;
        execute("COMMIT");
    }
}

// The folder's id, -1 where it has none (or the database failed); with make, it is added.
int64_t ReadingCache::folder_id(uint32_t folder, bool make) {
    Folder &known = folders[folder];
    if (known.id != 0 && (known.id > 0 || !make))
        return known.id;
    const std::string &path = files.folders[folder];
    sqlite3_bind_blob(add_folder, 1, path.data(), int(path.size()), SQLITE_STATIC);
    if (make && !run(add_folder))
        return -1;
    sqlite3_bind_blob(find_folder, 1, path.data(), int(path.size()), SQLITE_STATIC);
    int result = sqlite3_step(find_folder);
    known.id = result == SQLITE_ROW ? sqlite3_column_int64(find_folder, 0) : -1;
    sqlite3_reset(find_folder);
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        give_up(result);
    // A folder without readings when first looked up has none to find in this run.
    if (known.found.load(std::memory_order_relaxed) == 0)
        known.found.store(known.id, std::memory_order_relaxed);
    return known.id;
}

bool ReadingCache::find(size_t index, Reading &reading) {
    // A folder known to have no readings needs no stat, nor the lock.
    if (!usable || folders[files.files[index].folder].found.load(std::memory_order_relaxed) < 0)
        return false;
    try {
        FileIdentity identity;
        if (!identify_path(media_file_path(files, index), identity))
            return false;
        std::lock_guard<std::mutex> lock(mutex);
        return look_up(index, identity, reading);
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool ReadingCache::find(size_t index, const FileIdentity &identity, Reading &reading) {
    try {
        std::lock_guard<std::mutex> lock(mutex);
        return look_up(index, identity, reading);
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool ReadingCache::look_up(size_t index, const FileIdentity &identity, Reading &reading) {
    const MediaFiles::File &listed = files.files[index];
    int64_t folder = in_lookups() ? folder_id(listed.folder, false) : -1;
    if (folder < 0 || folders[listed.folder].found.load(std::memory_order_relaxed) < 0)
        return false;
    const int64_t numbers[] = {folder, 0, int64_t(identity.device), int64_t(identity.inode), identity.size,
                               identity.modified_ns, identity.changed_ns, version};
    for (int i = 0; i < 8; ++i)
        sqlite3_bind_int64(find_reading, i + 1, numbers[i]);
    sqlite3_bind_blob(find_reading, 2, listed.name.data(), int(listed.name.size()), SQLITE_STATIC);
    int result = sqlite3_step(find_reading);
    Reading kept;
    // Checked as a reader's answer is: any program of the user's can write the database.
    bool found = result == SQLITE_ROW &&
                 decode_reading((const char *)sqlite3_column_blob(find_reading, 1),
                                size_t(sqlite3_column_bytes(find_reading, 1)), kept) &&
                 kept.outcome == Reading::measured && kept.error == 0;
    if (found && sqlite3_column_int64(find_reading, 0) + mark_every_days <= today)
        used.push_back(index);
    sqlite3_reset(find_reading);
    if (result != SQLITE_ROW && result != SQLITE_DONE) {
        give_up(result);
        return false;
    }
    counted_lookup();
    if (used.size() >= marks_per_transaction) {
        std::vector<Waiting> none;
        store(none);
    }
    if (found)
        reading = std::move(kept);
    return found;
}

void ReadingCache::keep(size_t index, const FileIdentity &identity, const Reading &reading) {
    // A change within the resolution after either time would not show: such a reading is
    // not trusted, so not kept. A change after the open sets a time past both, so the next
    // run finds another identity than the one kept and reads it again.
    int64_t trusted_before = started_ns - time_resolution_ns;
    if (!usable || reading.outcome != Reading::measured || reading.error != 0 ||
        identity.modified_ns >= trusted_before || identity.changed_ns >= trusted_before)
        return;
    try {
        Waiting entry = {index, identity, {}};
        entry.bytes.reserve(encoded_size(reading));
        encode_reading(reading, entry.bytes);
        {
            std::lock_guard<std::mutex> waiting_lock(waiting_mutex);
            if (waiting.size() >= most_waiting)
                return;
            waiting_bytes += entry.bytes.size();
            waiting.push_back(std::move(entry));
            if (waiting.size() < stores_per_transaction && waiting_bytes < bytes_per_transaction)
                return;
        }
        batch_ready.notify_one();
    } catch (const std::bad_alloc &) {
    }
}

void ReadingCache::store(std::vector<Waiting> &batch) {
    if (database == nullptr || (batch.empty() && used.empty()))
        return;
    end_lookups();
    bool stored = execute("BEGIN IMMEDIATE");
    for (size_t i = 0; stored && i < batch.size(); ++i) {
        const Waiting &entry = batch[i];
        const MediaFiles::File &listed = files.files[entry.index];
        int64_t folder = folder_id(listed.folder, true);
        if (folder < 0)
            break;
        const FileIdentity &identity = entry.identity;
        const int64_t numbers[] = {folder, 0, int64_t(identity.device), int64_t(identity.inode), identity.size,
                                   identity.modified_ns, identity.changed_ns, version, today};
        for (int number = 0; number < 9; ++number)
            sqlite3_bind_int64(store_reading, number + 1, numbers[number]);
        sqlite3_bind_blob(store_reading, 2, listed.name.data(), int(listed.name.size()), SQLITE_STATIC);
        sqlite3_bind_blob(store_reading, 10, entry.bytes.data(), int(entry.bytes.size()), SQLITE_STATIC);
        stored = run(store_reading);
    }
    for (size_t i = 0; stored && database != nullptr && i < used.size(); ++i) {
        const MediaFiles::File &listed = files.files[used[i]];
        sqlite3_bind_int64(mark_used, 1, today);
        sqlite3_bind_int64(mark_used, 2, folder_id(listed.folder, false));
        sqlite3_bind_blob(mark_used, 3, listed.name.data(), int(listed.name.size()), SQLITE_STATIC);
        stored = run(mark_used);
    }
    if (stored && database != nullptr)
        execute("COMMIT");
    batch.clear();
    used.clear();
}

// Once a day: the readings no run used for unused_days (marks lag by up to a week), and the
// folders left without readings.
void ReadingCache::drop_unused() {
    if (database == nullptr)
        return;
    end_lookups();
    sqlite3_stmt *dropped = nullptr;
    int result = sqlite3_prepare_v2(database, "SELECT day FROM dropped", -1, &dropped, nullptr);
    if (result == SQLITE_OK)
        result = sqlite3_step(dropped);
    bool due = result == SQLITE_ROW && sqlite3_column_int64(dropped, 0) < today;
    sqlite3_finalize(dropped);
    if (result != SQLITE_ROW)
        return give_up(result == SQLITE_DONE ? SQLITE_CORRUPT : result);
    if (!due)
        return;
    char sql[512];
    snprintf(sql, sizeof sql,
             "BEGIN IMMEDIATE; DELETE FROM readings WHERE used_day < %lld;"
             " DELETE FROM folders WHERE NOT EXISTS (SELECT 1 FROM readings WHERE folder = folders.id);"
             " UPDATE dropped SET day = %lld; COMMIT",
             (long long)(today - unused_days - mark_every_days), (long long)today);
    execute(sql);
}
