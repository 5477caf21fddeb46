// Stores: the readings the readers make and the marks of the ones a run used, committed by a
// thread of the cache's own as they come, at most a second's worth held back.
#include "lodrix-playlist/lib/cache/reading_cache.h"

#include <chrono>
#include <new>

#include <sqlite3.h>

#include "lodrix-playlist/lib/cache/reading_checks.h"
#include "lodrix-playlist/lib/reading/reading_bytes.h"

// FAT keeps modification times to 2 s; a second more for a share's clock.
static const int64_t time_resolution_ns = int64_t(3) * 1000000000;
// Readings (and their bytes) or marks to a write transaction; what waits is stored at the
// latest after held_back, so that a run killed or crashed keeps nearly all it read.
static const size_t stores_per_transaction = 1024, bytes_per_transaction = 1 << 20, marks_per_transaction = 1024;
static const std::chrono::seconds held_back(1);
// Readings waiting at most: what comes while the writer is stuck is not kept.
static const size_t most_waiting = 8 * stores_per_transaction;
// How long a store waits for another process's lock: another run's batch takes milliseconds;
// behind a longer one the batch is dropped, and no thread but this one ever waits.
static const int store_wait_ms = 100;

int64_t ReadingCache::fingerprint(size_t index, int fd, const FileIdentity &opened) {
    FileIdentity identity = opened;
    int64_t print = 0;
    try {
        // One that cannot be taken is none: such a reading is found by no later run.
        if (usable && needs_fingerprint(index, identity) && !file_fingerprint(fd, identity.size, print))
            print = 0;
    } catch (const std::bad_alloc &) {
        print = 0;
    }
    return print;
}

void ReadingCache::keep(size_t index, const FileIdentity &opened, int64_t print, const Reading &reading) {
    FileIdentity identity = opened;
    if (test_without_change_time)
        identity.changed_ns = identity.modified_ns;
    // A change within the resolution after either time would not show: such a reading is
    // not trusted, so not kept. A change after the open sets a time past both, so the next
    // run finds another identity than the one kept and reads it again.
    int64_t trusted_before = started_ns - time_resolution_ns;
    if (!usable || reading.outcome != Reading::measured || reading.error != 0 ||
        identity.modified_ns >= trusted_before || identity.changed_ns >= trusted_before)
        return;
    try {
        // A reader's answer is within the limit; a reading made otherwise is kept only within it.
        size_t size = encoded_size(reading);
        if (size > largest_reading)
            return;
        Waiting entry = {index, identity, print, {}};
        entry.bytes.reserve(size);
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

// Stores what waits, apart from the threads that feed the readers; at the end, after the
// list is written, keeps the database small.
void ReadingCache::write_batches() {
    sqlite3_busy_timeout(stores_database, store_wait_ms);
    std::unique_lock<std::mutex> waiting_lock(waiting_mutex);
    for (bool last = false; !last;) {
        batch_ready.wait_for(waiting_lock, held_back, [this] {
            return closing || waiting.size() >= stores_per_transaction || waiting_bytes >= bytes_per_transaction ||
                   used.size() >= marks_per_transaction;
        });
        last = closing;
        std::vector<Waiting> batch;
        std::vector<size_t> marks;
        batch.swap(waiting);
        marks.swap(used);
        waiting_bytes = 0;
        waiting_lock.unlock();
        try {
            store(batch, marks);
        } catch (const std::bad_alloc &) {
        }
        waiting_lock.lock();
    }
    waiting_lock.unlock();
    // Behind another process's lock nothing more is tried: the run would wait for it.
    if (usable && !held)
        compact(drop_unused());
}

void ReadingCache::store(std::vector<Waiting> &batch, std::vector<size_t> &marks) {
    if (!usable || (batch.empty() && marks.empty()) || !begin_writing())
        return;
    bool stored = true;
    for (size_t i = 0; stored && i < batch.size(); ++i) {
        const Waiting &entry = batch[i];
        const MediaFiles::File &listed = files.files[entry.index];
        int64_t folder = stored_folder(listed.folder);
        if (folder < 0)
            return;
        const FileIdentity &identity = entry.identity;
        uint32_t checksum = reading_checksum(files.folders[listed.folder], listed.name, identity, version,
                                             entry.fingerprint, entry.bytes.data(), entry.bytes.size());
        const int64_t numbers[] = {folder, 0, int64_t(identity.device), int64_t(identity.inode), identity.size,
                                   identity.modified_ns, identity.changed_ns, version, entry.fingerprint,
                                   int64_t(checksum), today};
        for (int number = 0; number < 11; ++number)
            sqlite3_bind_int64(store_reading, number + 1, numbers[number]);
        sqlite3_bind_blob(store_reading, 2, listed.name.data(), int(listed.name.size()), SQLITE_STATIC);
        sqlite3_bind_blob(store_reading, 12, entry.bytes.data(), int(entry.bytes.size()), SQLITE_STATIC);
        stored = step(stores_database, store_reading);
    }
    for (size_t i = 0; stored && i < marks.size(); ++i) {
        const MediaFiles::File &listed = files.files[marks[i]];
        int64_t folder = stored_folder(listed.folder);
        if (folder < 0)
            return;
        sqlite3_bind_int64(mark_used, 1, today);
        sqlite3_bind_int64(mark_used, 2, folder);
        sqlite3_bind_blob(mark_used, 3, listed.name.data(), int(listed.name.size()), SQLITE_STATIC);
        stored = step(stores_database, mark_used);
    }
    // A failed step gave the cache up, and the close rolls the transaction back.
    if (stored)
        execute(stores_database, "COMMIT");
}

// The folder's id for a store, added where it has none; -1 where the database failed.
int64_t ReadingCache::stored_folder(uint32_t folder) {
    Folder &known = folders[folder];
    if (known.stored > 0)
        return known.stored;
    const std::string &path = files.folders[folder];
    sqlite3_bind_blob(add_folder, 1, path.data(), int(path.size()), SQLITE_STATIC);
    if (!step(stores_database, add_folder))
        return -1;
    sqlite3_bind_blob(find_stored_folder, 1, path.data(), int(path.size()), SQLITE_STATIC);
    int result = sqlite3_step(find_stored_folder);
    int64_t id = result == SQLITE_ROW ? sqlite3_column_int64(find_stored_folder, 0) : -1;
    sqlite3_reset(find_stored_folder);
    if (result != SQLITE_ROW)
        return failed(stores_database, result == SQLITE_DONE ? SQLITE_CORRUPT : result), -1;
    return known.stored = id;
}

// A write transaction, where no other process holds the database longer than a batch takes.
bool ReadingCache::begin_writing() { return write("BEGIN IMMEDIATE"); }

// sql, on the store connection; another process's lock is one message, and only this write
// is given up.
bool ReadingCache::write(const char *sql) {
    int result = sqlite3_exec(stores_database, sql, nullptr, nullptr, nullptr);
    if ((result & 0xff) == SQLITE_BUSY)
        held_by_another();
    else if (result != SQLITE_OK)
        failed(stores_database, result);
    return result == SQLITE_OK;
}
