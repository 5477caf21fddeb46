#include "lodrix-playlist/read/reader_pool.h"

#include <errno.h>

#include <algorithm>
#include <chrono>
#include <new>
#include <string>

#include "lodrix-playlist/lib/system/system.h"
#include "lodrix-playlist/lib/cache/reading_cache.h"
#include "lodrix-playlist/lib/readers/reader.h"
#include "lodrix-playlist/lib/text/extensions.h"

extern "C" {
#include <libavutil/log.h>
}

// Files read ahead of the writer, files queued for each reader (two messages' worth), and
// readers at most. Each reader has a thread here that opens its files, so 8 readers keep 16
// requests in flight: on a share that waits 1 ms per operation (1,000 files), 8 took 0.39 s,
// as long as 16 bare reads in flight, where 16 took 0.52 s and 24 took 0.66 s (the share
// itself gets slower), and 2 reads in flight 1.7 s. A reader that waits costs no processor
// time, but one that only competes for the cores with the others makes the run slower, so
// there is more than one per core only while opens wait for the storage.
static const size_t window = 256;
static const size_t queued_per_reader = 8;
static const size_t most_readers = 8;
// An open that takes this long waited for the storage (a cached one takes microseconds), or
// was kept from the processor by other work; the storage is slow when opens are so one
// after the other, which a busy processor seldom makes them.
static const std::chrono::microseconds slow_open(1000);
static const size_t slow_opens_in_a_row = 3;

// The window is no wider than the list: a short one makes no slots it would never fill.
ReaderPool::ReaderPool(const MediaFiles &files, ReadingCache *cache, Encoding encoding)
    : files(files), cache(cache), encoding(encoding), slots(std::max<size_t>(1, std::min(window, files.files.size()))),
      cores(std::max(1u, std::thread::hardware_concurrency())) {
}

void ReaderPool::start() {
    // A file's faults are the reading's outcome, never a line of FFmpeg's on standard error.
    av_log_set_level(AV_LOG_QUIET);
    if (!files.files.empty()) {
        std::unique_lock<std::mutex> lock(mutex);
        start_thread(lock);
    }
}

ReaderPool::~ReaderPool() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    room.notify_all();
    // No thread is started once stopping is set, so threads no longer changes.
    for (std::thread &thread : threads)
        thread.join();
}

// With the lock held. Returns once the thread runs: a reader forked while a thread starts
// could inherit a lock the starting thread holds.
void ReaderPool::start_thread(std::unique_lock<std::mutex> &lock) {
    readers.push_back(std::make_unique<Reader>(encoding));
    Reader &reader = *readers.back();
    threads.emplace_back([this, &reader] {
        std::unique_lock<std::mutex> started(mutex);
        ++running;
        thread_started.notify_all();
        read_ahead(reader, started);
    });
    thread_started.wait(lock, [this] { return running == threads.size(); });
}

bool ReaderPool::wanted_are_read() const {
    return slots[first_wanted % slots.size()].index == first_wanted &&
           slots[last_wanted % slots.size()].index == last_wanted;
}

Reading ReaderPool::take(size_t index) {
    std::unique_lock<std::mutex> lock(mutex);
    Slot &slot = slots[index % slots.size()];
    if (slot.index != index) {
        // Wait for a batch, not for each file: one wake-up per file is a system call per file.
        first_wanted = index;
        last_wanted = std::min(index + window / 4, files.files.size() - 1);
        ready.wait(lock, [&] { return wanted_are_read(); });
    }
    taken = index + 1;
    if (readers_waiting > 0)
        room.notify_one();
    return std::move(slot.reading);
}

// With the lock held.
void ReaderPool::store(size_t index, Reading &&reading) {
    slots[index % slots.size()] = {index, std::move(reading)};
    if ((index == first_wanted || index == last_wanted) && wanted_are_read())
        ready.notify_one();
}

// Takes the next file and hands it to the reader, opened here, so that the reader needs no
// path and no access to any: without blocking, and only a regular file. What allocates is
// done with the lock held, and a reader is forked with it too: so no thread of this pool
// holds the allocator's lock when one is. False when the file needs no reader (its reading
// is stored) or the reader was lost with it (then pending holds it, to be handed again).
bool ReaderPool::hand_over(Reader &reader, std::vector<Pending> &pending, std::unique_lock<std::mutex> &lock) {
    size_t index = next++;
    Reading reading = {Reading::unreadable, 0, ENOMEM};
    try {
        // A kept reading: one stat, no open, no reader.
        if (cache != nullptr) {
            lock.unlock();
            auto looking = std::chrono::steady_clock::now();
            bool kept = cache->find(index, reading);
            bool slow = std::chrono::steady_clock::now() - looking >= slow_open;
            lock.lock();
            if (kept) {
                slow_opens = slow ? slow_opens + 1 : 0;
                store(index, std::move(reading));
                return false;
            }
        }
        std::string path = media_file_path(files, index);
        Pending file = {index, -1, 0, lowercase_extension(path), {}, 0};
        if (!reader.start()) {
            reading.error = errno;
        } else {
            lock.unlock();
            auto opening = std::chrono::steady_clock::now();
            file.fd = open_media_file(path, file.size, file.identity);
            bool slow = std::chrono::steady_clock::now() - opening >= slow_open;
            reading = {file.fd < 0 ? Reading::unreadable : Reading::not_regular, 0, file.fd < 0 ? errno : 0};
            bool for_reader = file.fd >= 0 && file.size >= 0;
            if (for_reader && cache != nullptr)
                file.fingerprint = cache->fingerprint(index, file.fd, file.identity);
            bool handed = for_reader && reader.send(file.fd, file.size, file.extension);
            if (for_reader)
                pending.push_back(std::move(file));
            else if (file.fd >= 0)
                close_media_file(file.fd);
            lock.lock();
            slow_opens = slow ? slow_opens + 1 : 0;
            if (for_reader)
                return handed;
        }
    } catch (const std::bad_alloc &) {
    }
    store(index, std::move(reading));
    return false;
}

// With the lock held: a new reader for the files the lost one had not answered.
void ReaderPool::hand_again(Reader &reader, std::vector<Pending> &pending, std::unique_lock<std::mutex> &lock) {
    bool started = reader.start();
    int error = errno;
    lock.unlock();
    size_t handed = 0;
    while (started && handed < pending.size() &&
           reader.send(pending[handed].fd, pending[handed].size, pending[handed].extension))
        ++handed;
    if (started && !reader.flush())
        handed = 0;
    lock.lock();
    // A reader that cannot be started, or is lost again at once: those files get the reason.
    for (size_t i = handed; i < pending.size(); ++i) {
        store(pending[i].index, {Reading::unreadable, 0, started ? reader_lost : error});
        close_media_file(pending[i].fd);
    }
    pending.resize(handed);
}

void ReaderPool::read_ahead(Reader &reader, std::unique_lock<std::mutex> &lock) {
    // Reserved with the lock held, so that handing files over allocates nothing.
    std::vector<Pending> pending;
    pending.reserve(queued_per_reader);
    for (;;) {
        // Handed over a message's worth at a time, while the reader still has as many to read.
        bool message_fits = pending.empty() || pending.size() + most_requests <= queued_per_reader;
        while (message_fits && pending.size() < queued_per_reader && !stopping && next < files.files.size() &&
               next < taken + slots.size()) {
            // Starting a thread lets go of the lock: then look again. While the storage waits
            // (a kept reading's stat too), more threads at once. While every file is a kept
            // reading, one thread looks them up: more only wait for each other, across cores;
            // but where a lookup reads the file's ends, a thread a core.
            bool slow_storage = slow_opens >= slow_opens_in_a_row;
            size_t most_threads = slow_storage ? most_readers : cores;
            bool reading = cache == nullptr || !pending.empty() || slow_storage || cache->reads_files();
            if (reading && readers_waiting == 0 && next + 1 < files.files.size() && threads.size() < most_threads) {
                start_thread(lock);
                continue;
            }
            if (!hand_over(reader, pending, lock) && !reader.running() && !pending.empty())
                hand_again(reader, pending, lock);
        }
        if (pending.empty()) {
            if (stopping || next >= files.files.size())
                return;
            ++readers_waiting;
            room.wait(lock);
            --readers_waiting;
            continue;
        }
        lock.unlock();
        size_t lost;
        Reading reading = reader.receive(lost);
        if (lost != Reader::no_file) {
            if (cache != nullptr)
                cache->keep(pending[lost].index, pending[lost].identity, pending[lost].fingerprint, reading);
            close_media_file(pending[lost].fd);
        }
        lock.lock();
        if (lost != Reader::no_file) {
            store(pending[lost].index, std::move(reading));
            pending.erase(pending.begin() + lost);
        }
        if (!reader.running())
            hand_again(reader, pending, lock);
        // Waiting for the storage: more files at once.
        if (slow_opens >= slow_opens_in_a_row && readers_waiting == 0 && next < files.files.size() &&
            threads.size() < most_readers && !stopping)
            start_thread(lock);
    }
}
