#pragma once

#include <stddef.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "media_duration.h"
#include "media_files.h"
#include "reader.h"

/// Reads the files' durations a bounded window ahead of the thread that writes them in
/// playlist order, each file opened here and read by a Reader. Reading waits on the storage
/// as much as on the processor: on a network share every open and read waits a round trip,
/// so many files are in flight at once; a thread and its reader are started only when a file
/// waits for one, so one file starts one reader.
class ReaderPool {
  public:
    explicit ReaderPool(const MediaFiles &files);
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
    bool wanted_are_read() const;
    void read_ahead(Reader &reader);
    void start_thread();

    const MediaFiles &files;
    std::vector<Slot> slots;
    std::vector<std::thread> threads;
    std::vector<std::unique_ptr<Reader>> readers;
    std::mutex mutex;
    std::condition_variable ready, room;
    size_t next = 0, taken = 0, first_wanted = SIZE_MAX, last_wanted = SIZE_MAX, readers_waiting = 0;
    bool stopping = false;
};
