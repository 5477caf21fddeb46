// Lookups: a kept reading found for a file, and trusted only when its checksum, its size and,
// where the file system keeps no change time, the file's fingerprint say so.
#include "lodrix-playlist/lib/cache/reading_cache.h"

#include <new>

#include <sqlite3.h>

#include "lodrix-playlist/lib/cache/reading_checks.h"
#include "lodrix-playlist/lib/reading/reading_bytes.h"
#include "lodrix-playlist/lib/text/messages.h"
#include "lodrix-playlist/lib/text/text.h"

static const char damaged_rows_message[] = N_("%s: damaged entries in the cache, read again");
static const char held_message[] = N_("%s: cache locked by another process, going on without waiting");

// Lookups per read transaction; marks that wake the storing thread.
static const unsigned lookups_per_transaction = 256;
static const size_t marks_per_transaction = 1024;

bool ReadingCache::find(size_t index, Reading &reading) {
    Folder &folder = folders[files.files[index].folder];
    // A folder known to have no readings needs no stat, nor the lock.
    if (!usable || lookups_skipped || folder.found.load(std::memory_order_relaxed) < 0)
        return false;
    try {
        std::string path = media_file_path(files, index);
        FileIdentity identity;
        if (!folder.fingerprinted.load(std::memory_order_relaxed))
            return identify_path(path, identity) && find_open(index, identity, -1, reading);
        // A file of a folder whose files are fingerprinted is opened at once: the open's own
        // stat stands for the stat, and the fingerprint is read from it.
        int64_t size = -1;
        int fd = open_media_file(path, size, identity);
        bool found = fd >= 0 && size >= 0 && find_open(index, identity, fd, reading);
        if (fd >= 0)
            close_media_file(fd);
        return found;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

bool ReadingCache::find(size_t index, const FileIdentity &identity, Reading &reading) {
    try {
        return find_open(index, identity, -1, reading);
    } catch (const std::bad_alloc &) {
        return false;
    }
}

// The file as identity names it, open as fd where it is (else -1).
bool ReadingCache::find_open(size_t index, const FileIdentity &given, int fd, Reading &reading) {
    FileIdentity identity = given;
    bool fingerprinted = needs_fingerprint(index, identity);
    Kept kept;
    {
        std::lock_guard<std::mutex> lock(lookup_mutex);
        if (!look_up(index, identity, kept))
            return false;
    }
    // Checked as a reader's answer is, and against its checksum: any program of the user's
    // can write the database, and a changed byte in a reading may still decode.
    const MediaFiles::File &listed = files.files[index];
    Reading found;
    if (!kept.fits ||
        kept.checksum != (int64_t)reading_checksum(files.folders[listed.folder], listed.name, identity, version,
                                                   kept.fingerprint, kept.bytes.data(), kept.bytes.size()) ||
        !decode_reading(kept.bytes.data(), kept.bytes.size(), found) || found.outcome != Reading::measured ||
        found.error != 0) {
        damaged_row();
        return false;
    }
    if (fingerprinted) {
        folders[listed.folder].fingerprinted.store(true, std::memory_order_relaxed);
        fingerprinting.store(true, std::memory_order_relaxed);
        if (!same_fingerprint(index, identity, fd, kept.fingerprint))
            return false;
    }
    if (kept.used_day + mark_every_days <= today) {
        bool wake;
        {
            std::lock_guard<std::mutex> waiting_lock(waiting_mutex);
            used.push_back(index);
            wake = used.size() >= marks_per_transaction;
        }
        if (wake)
            batch_ready.notify_one();
    }
    reading = std::move(found);
    return true;
}

// Where the file system keeps no change time of its own: always on FAT and exFAT, where a
// FUSE daemon or SMB server reports the modification time as the change time. The suite's
// hook makes every file such a one, its change time its modification time (as exfat-fuse
// reports it).
bool ReadingCache::needs_fingerprint(size_t index, FileIdentity &identity) {
    if (test_without_change_time) {
        identity.changed_ns = identity.modified_ns;
        return true;
    }
    ChangeTimes times = ChangeTimes::real;
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(devices_mutex);
        for (const auto &device : devices)
            if (device.first == identity.device)
                times = device.second, known = true;
    }
    if (!known) {
        times = change_times(media_file_path(files, index));
        std::lock_guard<std::mutex> lock(devices_mutex);
        devices.push_back({identity.device, times});
    }
    return times == ChangeTimes::absent || (times == ChangeTimes::reported && identity.changed_ns == identity.modified_ns);
}

// The file, as it was looked up (open as fd, or opened here where fd is -1), still has the
// fingerprint kept with its reading.
bool ReadingCache::same_fingerprint(size_t index, const FileIdentity &identity, int fd, int64_t kept) {
    int64_t size = identity.size, print = 0;
    FileIdentity opened = identity;
    int own = fd < 0 ? open_media_file(media_file_path(files, index), size, opened) : -1;
    bool same = (fd >= 0 || own >= 0) && size >= 0 && opened.device == identity.device &&
                opened.inode == identity.inode && opened.size == identity.size &&
                opened.modified_ns == identity.modified_ns && file_fingerprint(fd >= 0 ? fd : own, size, print) &&
                print == kept;
    if (own >= 0)
        close_media_file(own);
    return same;
}

// With the lock held, as every function below.
bool ReadingCache::look_up(size_t index, const FileIdentity &identity, Kept &kept) {
    const MediaFiles::File &listed = files.files[index];
    int64_t folder = usable && !lookups_skipped && in_lookups() ? looked_up_folder(listed.folder) : -1;
    if (folder < 0 || folders[listed.folder].found.load(std::memory_order_relaxed) < 0)
        return false;
    const int64_t numbers[] = {folder, 0, int64_t(identity.device), int64_t(identity.inode), identity.size,
                               identity.modified_ns, identity.changed_ns, version, int64_t(largest_reading)};
    for (int i = 0; i < 9; ++i)
        sqlite3_bind_int64(find_reading, i + 1, numbers[i]);
    sqlite3_bind_blob(find_reading, 2, listed.name.data(), int(listed.name.size()), SQLITE_STATIC);
    int result = sqlite3_step(find_reading);
    if (result == SQLITE_ROW) {
        kept.used_day = sqlite3_column_int64(find_reading, 0);
        kept.fingerprint = sqlite3_column_int64(find_reading, 1);
        kept.checksum = sqlite3_column_int64(find_reading, 2);
        // Null where the reading is longer than a reader may answer.
        kept.fits = sqlite3_column_type(find_reading, 3) != SQLITE_NULL;
        const char *bytes = (const char *)sqlite3_column_blob(find_reading, 3);
        kept.bytes.assign(bytes != nullptr ? bytes : "", size_t(sqlite3_column_bytes(find_reading, 3)));
    }
    sqlite3_reset(find_reading);
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        return lookup_failed(result), false;
    counted_lookup();
    return result == SQLITE_ROW;
}

// Lookups share a read transaction, a batch at a time.
bool ReadingCache::in_lookups() {
    if (!looking_up && lookups_database != nullptr)
        looking_up = execute(lookups_database, "BEGIN");
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
        execute(lookups_database, "COMMIT");
    }
}

// The folder's id, -1 where it has none (or the database failed).
int64_t ReadingCache::looked_up_folder(uint32_t folder) {
    Folder &known = folders[folder];
    if (known.looked_up != 0)
        return known.looked_up;
    const std::string &path = files.folders[folder];
    sqlite3_bind_blob(find_folder, 1, path.data(), int(path.size()), SQLITE_STATIC);
    int result = sqlite3_step(find_folder);
    int64_t id = result == SQLITE_ROW ? sqlite3_column_int64(find_folder, 0) : -1;
    sqlite3_reset(find_folder);
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        return lookup_failed(result), -1;
    known.looked_up = id;
    // A folder without readings when first looked up has none to find in this run.
    if (known.found.load(std::memory_order_relaxed) == 0)
        known.found.store(id, std::memory_order_relaxed);
    return id;
}

// Another process that holds the whole database (a reader in the log waits for nothing
// else) holds up no file: the run reads them all from here on.
void ReadingCache::lookup_failed(int result) {
    if ((result & 0xff) != SQLITE_BUSY && (result & 0xff) != SQLITE_LOCKED)
        return failed(lookups_database, result);
    lookups_skipped = true;
    end_lookups();
    held_by_another();
}

void ReadingCache::damaged_row() {
    if (!rows_reported.exchange(true))
        report(damaged_rows_message, printable(file).c_str());
}

void ReadingCache::held_by_another() {
    if (!held.exchange(true))
        report(held_message, printable(file).c_str());
}
