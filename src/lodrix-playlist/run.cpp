#include "run.h"

#include <errno.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "media_duration.h"
#include "media_files.h"
#include "platform/platform.h"
#include "xspf/xspf.h"

static const char program[] = "lodrix-playlist";
static const char no_media_message[] = "lodrix-playlist: keine Mediendateien gefunden\n";
static const char not_regular_message[] = "lodrix-playlist: %s: keine regulaere Datei mehr, uebergangen\n";
static const char unreadable_message[] = "lodrix-playlist: %s: nicht lesbar, Dauer 0: %s\n";
static const char no_memory_message[] = "lodrix-playlist: zu wenig Speicher\n";
static const char progress_template[] = "\r%zu/%zu";

// "N/M" on a terminal, at most ten times a second; the last call clears it.
static void show_progress(size_t done, size_t total) {
    using clock = std::chrono::steady_clock;
    static const bool on_terminal = isatty(fileno(stderr));
    static clock::time_point last_shown;
    static int shown_length;
    if (!on_terminal)
        return;
    if (done == total) {
        fprintf(stderr, "\r%*s\r", shown_length, "");
        return;
    }
    if (clock::now() - last_shown < std::chrono::milliseconds(100))
        return;
    last_shown = clock::now();
    shown_length = fprintf(stderr, progress_template, done, total) - 1;
}

// A message names a path on one line, whatever bytes the path holds.
static std::string printable(std::string path) {
    std::replace_if(path.begin(), path.end(), [](char c) { return (unsigned char)c < 0x20; }, '?');
    return path;
}

// Reads the files' durations on worker threads, a bounded window ahead of the thread that
// writes them in playlist order. Reading is nearly all of a run's time and waits on the disk
// as much as on the processor, so each core gets a reader. A thread is woken only when what
// it waits for is there: one wake-up per file is a system call per file.
class Readings {
  public:
    explicit Readings(const MediaFiles &files) : files(files), slots(window) {
        size_t readers = std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), files.files.size());
        for (size_t i = 0; i < readers; ++i)
            threads.emplace_back([this] { read_ahead(); });
    }
    ~Readings() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        room.notify_all();
        for (std::thread &thread : threads)
            thread.join();
    }
    /// The reading of file index, waiting for it; each index once, in order.
    Reading take(size_t index) {
        std::unique_lock<std::mutex> lock(mutex);
        Slot &slot = slots[index % window];
        if (slot.index != index) {
            // Wait for a batch, not for each file.
            first_wanted = index;
            last_wanted = std::min(index + window / 4, files.files.size() - 1);
            ready.wait(lock, [&] { return wanted_are_read(); });
        }
        taken = index + 1;
        if (readers_waiting > 0)
            room.notify_one();
        return slot.reading;
    }

  private:
    static const size_t window = 64;
    struct Slot {
        size_t index = SIZE_MAX;
        Reading reading;
    };
    bool wanted_are_read() const {
        return slots[first_wanted % window].index == first_wanted && slots[last_wanted % window].index == last_wanted;
    }
    void read_ahead() {
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
            lock.unlock();
            Reading reading = {Reading::unreadable, 0, ENOMEM};
            try {
                reading = read_duration(media_file_path(files, index));
            } catch (const std::bad_alloc &) {
            }
            lock.lock();
            slots[index % window] = {index, reading};
            if ((index == first_wanted || index == last_wanted) && wanted_are_read())
                ready.notify_one();
        }
    }

    const MediaFiles &files;
    std::vector<Slot> slots;
    std::vector<std::thread> threads;
    std::mutex mutex;
    std::condition_variable ready, room;
    size_t next = 0, taken = 0, first_wanted = SIZE_MAX, last_wanted = SIZE_MAX, readers_waiting = 0;
    bool stopping = false;
};

static bool is_relative(const std::string &operand) { return operand.empty() || operand[0] != '/'; }

// Collects first, then reads and writes in order; a file that is no regular file any more
// is left out, so a track's position is only known when it is written.
static int write_playlist(const std::vector<std::string> &operands, const char *base) {
    MediaFiles files;
    bool all_read = collect_media_files(operands, base != nullptr ? base : "", files);
    av_log_set_level(AV_LOG_QUIET);
    start_output(stdout);
    int32_t written = 0;
    {
        Readings readings(files);
        for (size_t i = 0; i < files.files.size() && !output_failed(); ++i) {
            show_progress(i, files.files.size());
            Reading reading = readings.take(i);
            std::string path = media_file_path(files, i);
            if (reading.outcome == Reading::not_regular) {
                fprintf(stderr, not_regular_message, printable(path).c_str());
                continue;
            }
            if (reading.outcome == Reading::unreadable)
                fprintf(stderr, unreadable_message, printable(path).c_str(), reading_error_text(reading.error).c_str());
            if (written == INT32_MAX)
                break;
            if (written == 0)
                write_playlist_head();
            std::string position = std::to_string(++written), duration = std::to_string(reading.duration_ms);
            const MediaFiles::File &file = files.files[i];
            TrackEntry entry;
            entry.form = LocationForm::in_directory;
            entry.kind = ValueKind::literal;
            entry.directory = files.folders[file.folder].c_str();
            entry.name = file.name.c_str();
            entry.position = position.c_str();
            entry.duration = duration.c_str();
            write_track_entry(entry);
        }
    }
    if (written > 0)
        write_playlist_tail(written);
    int write_error = finish_output();
    show_progress(files.files.size(), files.files.size());
    int status = close_output(stdout, program, write_error);
    if (status == 0 && written == 0) {
        if (all_read)
            fputs(no_media_message, stderr);
        return 1;
    }
    return status == 0 && !all_read ? 1 : status;
}

int run(int argc, char **argv) {
    try {
        std::vector<std::string> operands(argv + 1, argv + argc);
        if (operands.empty())
            operands.push_back(".");
        const char *base = nullptr;
        if (std::any_of(operands.begin(), operands.end(), is_relative)) {
            base = current_directory();
            if (base == nullptr)
                return no_current_directory(program);
        }
        return write_playlist(operands, base);
    } catch (const std::bad_alloc &) {
        fputs(no_memory_message, stderr);
        return 2;
    }
}
