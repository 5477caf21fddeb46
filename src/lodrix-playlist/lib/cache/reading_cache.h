#pragma once

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <condition_variable>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "lodrix-playlist/lib/cache/cache_system.h"
#include "lodrix-playlist/lib/reading/media_files.h"
#include "lodrix-playlist/lib/reading/reading.h"

struct sqlite3;
struct sqlite3_stmt;

// ReadingCache: readings of earlier runs, kept in SQLite, that stand in for reading a file
// that has not changed; it hands the read stage Readings and keeps the ones its readers make.

/// Readings of earlier runs in an SQLite database, so that a file that has not changed since
/// it was read costs one stat and no open. A reading is keyed by the file's path as the walk
/// forms it, its FileIdentity and the reading version; any difference reads it again. Each
/// is kept with a checksum over it and its key, and what the database returns is checked as
/// a reader's answer is (any program of the user's can write it): a reading that fails either
/// is read again, with one message a run. On a file system without a real change time (FAT,
/// exFAT; FUSE and SMB where the change time is the modification time) a reading is kept
/// with a fingerprint of the file's first and last 64 KiB, where the tags live.
///
/// Nothing here fails a run or changes its output. Only a missing or empty file, or a
/// database this program made, is ever written: any other file (another program's database,
/// a symbolic link to anything but our own) is left as it was, with one message. Ours and
/// damaged, it is moved aside with its log. Lookups and stores use a connection each, the
/// stores on a thread of their own that commits what came at least once a second; a store
/// that another process's lock holds up longer than a batch takes is dropped, and a lookup
/// that it holds up is given up: no list waits for another process.
class ReadingCache {
  public:
    /// The database's marks (application_id "LDRX", user_version): a database with others is
    /// not this program's cache.
    static constexpr int64_t application_id = 0x4C445258, schema_version = 2;

    /// For the readings of files, in file (empty: default_cache_file's place), kept under
    /// version (current_reading_version). Opens nothing: open() does.
    ReadingCache(const std::string &file, const MediaFiles &files, int64_t version);
    /// Checks the file, opens or makes the database and starts the thread that stores, before
    /// any reader is forked. False, with one message, where the run goes on without it.
    bool open();
    /// Stores what waits; then, on that thread, drops the readings no run used for 60 days
    /// (once a day), compacts a database that is more than half free, and closes.
    ~ReadingCache();
    ReadingCache(const ReadingCache &) = delete;
    ReadingCache &operator=(const ReadingCache &) = delete;

    /// True, with reading set, where a reading of files.files[index] is kept and its file is
    /// still the one that was read.
    bool find(size_t index, Reading &reading);
    /// The same, for the file's identity as given.
    bool find(size_t index, const FileIdentity &identity, Reading &reading);

    /// True once a lookup read a file's ends for its fingerprint: lookups then do work a
    /// core each, not only the database's.
    bool reads_files() const { return fingerprinting.load(std::memory_order_relaxed); }

    /// What keep needs of files.files[index], open as fd with identity, before it is read: its
    /// fingerprint where its file system needs one, else 0.
    int64_t fingerprint(size_t index, int fd, const FileIdentity &identity);

    /// Keeps the reading a reader made of files.files[index], under the identity and
    /// fingerprint the file had when it was opened (a change since gives it others), where it
    /// would come out the same next time: measured (not too slow, no reader lost, no open or
    /// read error), within largest_reading, of a file modified clearly before this run began,
    /// since a change within the file system's time resolution (FAT keeps 2 s) would leave its
    /// identity as it was.
    void keep(size_t index, const FileIdentity &identity, int64_t fingerprint, const Reading &reading);

  private:
    struct Waiting {
        size_t index;
        FileIdentity identity;
        int64_t fingerprint;
        std::string bytes;
    };
    struct Folder {
        int64_t looked_up = 0; ///< its id for lookups (lookup_mutex): 0 not looked up, -1 none
        int64_t stored = 0;    ///< its id for stores (the storing thread)
        std::atomic<bool> fingerprinted{false}; ///< a reading of its files was found with a fingerprint
        /// The id when the run first looked, read without the lock: -1, none to find.
        std::atomic<int64_t> found{0};
    };
    /// A reading as the database holds it.
    struct Kept {
        int64_t used_day = 0, fingerprint = 0, checksum = 0;
        bool fits = false; ///< within largest_reading
        std::string bytes;
    };
    /// What the named file is to the cache, told without writing anything.
    enum class Found { missing, empty, ours, not_ours, not_regular, unreadable };
    /// How the database a connection opened turned out.
    enum class Schema { ours, none, older, newer, other };

    // Checking the file (cache_check.cpp).
    Found examine(std::string &reason);
    bool read_schema(sqlite3 *database, Schema &found);
    bool move_aside();
    // Opening (cache_open.cpp).
    bool open_database();
    bool open_lookups();
    bool configure(sqlite3 *database);
    bool make_schema(Schema &found);
    bool to_log();
    bool prepare(sqlite3 *database, std::initializer_list<std::pair<sqlite3_stmt **, const char *>> statements);
    bool execute(sqlite3 *database, const char *sql);
    bool step(sqlite3 *database, sqlite3_stmt *statement);
    void failed(sqlite3 *database, int result);
    void report_unusable(const char *reason);
    // Lookups (cache_lookup.cpp).
    bool find_open(size_t index, const FileIdentity &identity, int fd, Reading &reading);
    bool needs_fingerprint(size_t index, FileIdentity &identity);
    bool same_fingerprint(size_t index, const FileIdentity &identity, int fd, int64_t kept);
    bool look_up(size_t index, const FileIdentity &identity, Kept &kept);
    bool in_lookups();
    void counted_lookup();
    void end_lookups();
    int64_t looked_up_folder(uint32_t folder);
    void lookup_failed(int result);
    void damaged_row();
    void held_by_another();
    // Stores (cache_store.cpp).
    void write_batches();
    void store(std::vector<Waiting> &batch, std::vector<size_t> &marks);
    int64_t stored_folder(uint32_t folder);
    bool begin_writing();
    bool write(const char *sql);
    // Upkeep (cache_upkeep.cpp).
    bool drop_unused();
    void compact(bool dropped);
    void close_lookups();
    void close_stores();

    std::string file;
    const MediaFiles &files;
    const int64_t version, started_ns, today;
    std::unique_ptr<Folder[]> folders; ///< per folder of files
    bool test_without_change_time = false; ///< LODRIX_TEST_NO_CHANGE_TIME: for the suite only
    /// Readings are marked used at most once a week, so that a run that finds everything
    /// writes nothing; the drop allows for it.
    static constexpr int64_t mark_every_days = 7;
    std::atomic<bool> usable{false};
    std::atomic<bool> damaged{false};       ///< ours, and damaged: moved aside once closed
    std::atomic<bool> lookups_skipped{false}; ///< another process holds the whole database
    std::atomic<bool> fingerprinting{false};  ///< a lookup read a file's fingerprint
    std::atomic<bool> given_up{false}, held{false}, rows_reported{false}; ///< each message once

    std::mutex devices_mutex; ///< devices
    std::vector<std::pair<uint64_t, ChangeTimes>> devices; ///< what each device's change times are worth

    std::mutex lookup_mutex; ///< the lookup connection, its statements, looking_up, lookups
    sqlite3 *lookups_database = nullptr;
    sqlite3_stmt *find_folder = nullptr, *find_reading = nullptr;
    bool looking_up = false; ///< a read transaction is open
    unsigned lookups = 0;    ///< lookups in it

    /// The store connection: open() and the destructor, and in between the storing thread.
    sqlite3 *stores_database = nullptr;
    sqlite3_stmt *find_stored_folder = nullptr, *add_folder = nullptr, *store_reading = nullptr,
                 *mark_used = nullptr;

    std::mutex waiting_mutex; ///< waiting, waiting_bytes, used, closing
    std::condition_variable batch_ready;
    std::thread writer; ///< stores what keep and lookups queue
    bool closing = false;
    std::vector<Waiting> waiting; ///< readings to store
    size_t waiting_bytes = 0;
    std::vector<size_t> used; ///< files whose use is to be marked
};
