#pragma once

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lodrix-playlist/lib/cache/cache_system.h"
#include "lodrix-playlist/lib/reading/reading.h"
#include "lodrix-playlist/lib/reading/media_files.h"

struct sqlite3;
struct sqlite3_stmt;

/// Readings of earlier runs in an SQLite database, so that a file that has not changed since
/// it was read costs one stat and no open. A reading is keyed by the file's path as the walk
/// forms it, its FileIdentity and the reading version; any difference reads it again. What
/// the database returns is checked as a reader's answer is, since any program of the user's
/// can write it. Nothing here fails a run or changes its output: a database that cannot be
/// opened or written is one message and a cache that keeps nothing from then on; a corrupt
/// one (no SQLite database, or another schema) is moved aside as FILE.broken, with one
/// message, and a new one made. Lookups and stores go in batches, each in a transaction, the
/// stores by a thread of its own, so that no thread that feeds a reader waits for the disk;
/// WAL and a busy wait let two runs use it at once. One connection behind a lock: any thread
/// may call it.
class ReadingCache {
  public:
    /// Opens (or makes) file for the readings of files; empty: default_cache_file's place.
    /// version: what readings are kept under besides their files (current_reading_version).
    ReadingCache(const std::string &file, const MediaFiles &files, int64_t version);
    /// Stores what waits, drops the readings no run used for 60 days (once a day) and closes.
    ~ReadingCache();
    ReadingCache(const ReadingCache &) = delete;
    ReadingCache &operator=(const ReadingCache &) = delete;

    /// True, with reading set, where a reading of files.files[index] is kept and its file is
    /// still the one that was read.
    bool find(size_t index, Reading &reading);
    /// The same, for the file's identity as given.
    bool find(size_t index, const FileIdentity &identity, Reading &reading);

    /// Keeps the reading a reader made of files.files[index], under the identity the file had
    /// when it was opened (a change since gives it another), where it would come out the same
    /// next time: measured (not too slow, no reader lost, no open or read error), of a file
    /// modified clearly before this run began, since a change within the file system's time
    /// resolution (FAT keeps 2 s) would leave its identity as it was.
    void keep(size_t index, const FileIdentity &identity, const Reading &reading);

  private:
    struct Waiting {
        size_t index;
        FileIdentity identity;
        std::string bytes;
    };
    enum class Schema { ours, none, other };
    bool open();
    bool find_schema(Schema &found);
    bool prepare();
    bool execute(const char *sql);
    bool run(sqlite3_stmt *statement);
    void close();
    void give_up(int result);
    bool in_lookups();
    void counted_lookup();
    void end_lookups();
    int64_t folder_id(uint32_t folder, bool make);
    bool look_up(size_t index, const FileIdentity &identity, Reading &reading);
    void store(std::vector<Waiting> &batch);
    void write_batches();
    void drop_unused();

    std::string file;
    const MediaFiles &files;
    const int64_t version, started_ns, today;
    std::mutex mutex;         ///< the connection, changes of the folder ids, used
    std::mutex waiting_mutex; ///< waiting, waiting_bytes, closing
    std::condition_variable batch_ready;
    std::thread writer; ///< stores the batches that keep fills
    bool closing = false;
    std::atomic<bool> usable{false};
    bool moved_aside = false;
    sqlite3 *database = nullptr;
    sqlite3_stmt *find_folder = nullptr, *add_folder = nullptr, *find_reading = nullptr, *store_reading = nullptr,
                 *mark_used = nullptr;
    struct Folder {
        int64_t id = 0; ///< in the database: 0 not looked up, -1 none
        /// The id when the run first looked, read without the lock: -1, none to find.
        std::atomic<int64_t> found{0};
    };
    std::unique_ptr<Folder[]> folders; ///< per folder of files
    std::vector<Waiting> waiting;    ///< readings to store
    size_t waiting_bytes = 0;
    std::vector<size_t> used;        ///< files whose use is to be marked
    bool looking_up = false;         ///< a read transaction is open
    unsigned lookups = 0;            ///< lookups in it
};
