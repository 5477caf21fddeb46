#include "reader_pool.h"

#include <errno.h>

#include <algorithm>
#include <new>
#include <string>

#include "media_file.h"

// Files read ahead of the writer, and files in flight at most. On a share that waits 1 ms
// per operation, 2 reads in flight took 2.2 s for 1,000 files where 16 took 0.8 s; a reader
// that waits costs no processor time.
static const size_t window = 64;
static const size_t most_readers = 16;

ReaderPool::ReaderPool(const MediaFiles &files) : files(files), slots(window) {
    if (!files.files.empty()) {
        std::lock_guard<std::mutex> lock(mutex);
        start_thread();
    }
}

ReaderPool::~ReaderPool() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    room.notify_all();
    // No thread is started once stopping is set.
    for (std::thread &thread : threads)
        thread.join();
}

// With the lock held.
void ReaderPool::start_thread() {
    readers.push_back(std::make_unique<Reader>());
    Reader &reader = *readers.back();
    threads.emplace_back([this, &reader] { read_ahead(reader); });
}

bool ReaderPool::wanted_are_read() const {
    return slots[first_wanted % window].index == first_wanted && slots[last_wanted % window].index == last_wanted;
}

Reading ReaderPool::take(size_t index) {
    std::unique_lock<std::mutex> lock(mutex);
    Slot &slot = slots[index % window];
    if (slot.index != index) {
        // Wait for a batch, not for each file: one wake-up per file is a system call per file.
        first_wanted = index;
        last_wanted = std::min(index + window / 4, files.files.size() - 1);
        ready.wait(lock, [&] { return wanted_are_read(); });
    }
    taken = index + 1;
    if (readers_waiting > 0)
        room.notify_one();
    return slot.reading;
}

// Opens the file here, so that the reader needs no path and no access to any, and hands it
// the descriptor: without blocking, and only a regular file.
static Reading read_file(const std::string &path, const std::string &extension, Reader &reader) {
    int64_t size;
    int fd = open_media_file(path, size);
    if (fd < 0)
        return {Reading::unreadable, 0, errno};
    Reading reading = {Reading::not_regular, 0, 0};
    if (size >= 0)
        reading = reader.read(fd, size, extension);
    close_media_file(fd);
    return reading;
}

void ReaderPool::read_ahead(Reader &reader) {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        while (!stopping && next < files.files.size() && next >= taken + window) {
            ++readers_waiting;
            room.wait(lock);
            --readers_waiting;
        }
        if (stopping || next >= files.files.size())
            return;
        size_t index = next++;
        if (readers_waiting == 0 && next < files.files.size() && threads.size() < most_readers)
            start_thread();
        Reading reading = {Reading::unreadable, 0, ENOMEM};
        try {
            // What allocates is done here, with the lock held, and a reader is forked here
            // too: so no other thread of this pool holds the allocator's lock when it is.
            std::string path = media_file_path(files, index), extension = lowercase_extension(path);
            for (int attempt = 0; attempt < 2; ++attempt) {
                if (!reader.start()) {
                    reading = {Reading::unreadable, 0, errno};
                    break;
                }
                lock.unlock();
                reading = read_file(path, extension, reader);
                lock.lock();
                if (reading.error != reader_lost)
                    break;
            }
        } catch (const std::bad_alloc &) {
        }
        slots[index % window] = {index, reading};
        if ((index == first_wanted || index == last_wanted) && wanted_are_read())
            ready.notify_one();
    }
}
