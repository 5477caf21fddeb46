#pragma once

#include <stddef.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lodrix-playlist/lib/encoding/encoding.h"
#include "lodrix-playlist/lib/reading/media_files.h"
#include "lodrix-playlist/lib/reading/reading.h"
#include "lodrix-playlist/lib/system/system.h"

// The second stage: the walk's files become one Reading each, in order, read ahead by
// readers (lib/readers) or found in the cache (lib/cache).

class Reader;
class ReadingCache;

/// Where readings are kept between runs, and how text is read.
struct ReadSettings {
    bool cache = true;                ///< false: --no-cache, every file read, none kept
    const char *cache_file = nullptr; ///< --cache: the readings' database; null: the default place
    Encoding encoding = Encoding::none; ///< --encoding: of all text that is not UTF-8; none: detected
};

/// Reads the files' durations a bounded window ahead of the thread that writes them in
/// playlist order, each file opened here and read by a Reader, several queued for each so that
/// no reader waits between files. A thread and its reader are started only when a file
/// waits for one, so one file starts one reader: as many as there are cores, and more, up to
/// 8, while the readers wait for the storage (on a network share every open and read waits
/// a round trip, and only more files in flight make the run sooner).
class ReaderPool {
  public:
    /// cache: readings kept from earlier runs, and where to keep new ones; null for none.
    /// encoding: the readers' ReadSettings::encoding.
    ReaderPool(const MediaFiles &files, ReadingCache *cache, Encoding encoding = Encoding::none);
    /// Starts reading ahead, on a thread of its own.
    void start();
    ~ReaderPool();
    ReaderPool(const ReaderPool &) = delete;
    ReaderPool &operator=(const ReaderPool &) = delete;

    /// The reading of file index, waiting for it; each index once, in order.
    Reading take(size_t index);

  private:
    struct Slot {
        size_t index = SIZE_MAX;
        Reading reading;
    };
    struct Pending {
        size_t index;
        int fd;
        int64_t size;
        std::string extension;
        FileIdentity identity;
        int64_t fingerprint; ///< what the cache keeps with its reading, taken before it is read
    };
    bool wanted_are_read() const;
    void read_ahead(Reader &reader, std::unique_lock<std::mutex> &lock);
    void start_thread(std::unique_lock<std::mutex> &lock);
    void store(size_t index, Reading &&reading);
    bool hand_over(Reader &reader, std::vector<Pending> &pending, std::unique_lock<std::mutex> &lock);
    void hand_again(Reader &reader, std::vector<Pending> &pending, std::unique_lock<std::mutex> &lock);

    const MediaFiles &files;
    ReadingCache *cache;
    Encoding encoding;
    std::vector<Slot> slots;
    std::vector<std::thread> threads;
    std::vector<std::unique_ptr<Reader>> readers;
    std::mutex mutex;
    size_t cores;
    std::condition_variable ready, room, thread_started;
    size_t next = 0, taken = 0, first_wanted = SIZE_MAX, last_wanted = SIZE_MAX, readers_waiting = 0;
    bool stopping = false;
    size_t slow_opens = 0;     ///< the last opens that were slow, one after the other
    size_t running = 0;        ///< threads that have started
};
