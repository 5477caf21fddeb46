#include "run.h"

#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "lodrix-playlist/lib/cache/reading_cache.h"
#include "lodrix-playlist/lib/contents/contents.h"
#include "lodrix-playlist/lib/text/messages.h"
#include "lists.h"
#include "options/options.h"
#include "platform/platform.h"
#include "read/reader_pool.h"
#include "tracks/tracks.h"
#include "walk/walk.h"

static const char no_media_message[] = N_("no media files found");
static const char no_memory_message[] = N_("out of memory");
static const char progress_template[] = "\r%zu/%zu";

// "N/M" on a terminal, at most ten times a second; done clears it.
class Progress {
  public:
    void show(size_t done, size_t total) {
        if (!on_terminal || std::chrono::steady_clock::now() - last_shown < std::chrono::milliseconds(100))
            return;
        last_shown = std::chrono::steady_clock::now();
        shown_length = fprintf(stderr, progress_template, done, total) - 1;
    }
    void done() {
        if (on_terminal && shown_length > 0)
            fprintf(stderr, "\r%*s\r", shown_length, "");
        shown_length = 0;
    }

  private:
    bool on_terminal = isatty(fileno(stderr));
    std::chrono::steady_clock::time_point last_shown;
    int shown_length = 0;
};

static bool is_relative(const std::string &path) { return !std::filesystem::u8path(path).is_absolute(); }

// A relative operand, list file or prefix, or relative locations on standard output, are
// taken from the working directory.
static bool needs_working_directory(const Settings &settings) {
    auto relative_in = [](const WriteSettings &write) {
        return (write.output != nullptr && is_relative(write.output)) ||
               (write.output == nullptr && !write.each_folder && write.locations.paths == PathMode::relative) ||
               std::any_of(write.locations.prefixes.begin(), write.locations.prefixes.end(),
                           [](const Prefix &prefix) { return is_relative(prefix.from); });
    };
    const std::vector<std::string> &operands = settings.walk.operands;
    return std::any_of(operands.begin(), operands.end(), is_relative) ||
           (settings.lists.empty() && relative_in(settings.write)) ||
           std::any_of(settings.lists.begin(), settings.lists.end(),
                       [&](const ListSettings &list) { return relative_in(list.write); });
}

// The stages in the order data flows: each built from its settings, then, batch by batch,
// each file read (ahead, by the pool), made into tracks, and each list's selected and written.
int run(int argc, char **argv) {
    start_messages();
    try {
        Settings settings;
        if (int status = read_options(argc, argv, settings); status != go_on)
            return status;

        std::string base;
        if (needs_working_directory(settings)) {
            const char *working = working_directory();
            if (working == nullptr)
                return no_directory_status();
            base = working;
        }

        MediaFiles files;
        Lists lists(settings, files);
        if (int status = lists.open(base); status != 0)
            return status;
        collect_media_files(settings.walk.operands, base, files, settings.walk.files_first, settings.walk.times);

        // Kept readings stand in for reading a file; the pool ends before the cache stores its last.
        std::unique_ptr<ReadingCache> cache;
        if (settings.read.cache && !files.files.empty()) {
            cache = std::make_unique<ReadingCache>(settings.read.cache_file ? settings.read.cache_file : "", files,
                                                   current_reading_version(settings.read.encoding));
            if (!cache->open())
                cache.reset();
        }
        ReaderPool pool(files, cache.get(), settings.read.encoding);
        Tracks tracks(files, settings.tracks);
        pool.start();

        Progress progress;
        const size_t count = files.files.size();
        std::vector<Track> batch;
        for (size_t first = 0; first < count && !lists.finished();) {
            size_t last = tracks.batch_end(first, lists.needs_all_tracks());
            batch.clear();
            for (; first < last; ++first) {
                progress.show(first, count);
                Reading reading = pool.take(first);
                lists.see(first, reading);
                tracks.add(first, std::move(reading), batch);
            }
            if (!lists.write(batch))
                break;
        }
        progress.done();

        int status = lists.finish();
        if (status == 1 && !errors_reported())
            report(no_media_message);
        return status == 0 && errors_reported() ? 1 : status;
    } catch (const std::bad_alloc &) {
        report(no_memory_message);
        return 2;
    }
}
