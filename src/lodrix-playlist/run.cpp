#include "run.h"

#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#include "options/options.h"
#include "platform/platform.h"
#include "read/reader_pool.h"
#include "read/reading_cache.h"
#include "tracks/select.h"
#include "tracks/tracks.h"
#include "walk/media_files.h"
#include "write/playlists.h"

static const char program[] = "lodrix-playlist";
static const char no_media_message[] = "lodrix-playlist: keine Mediendateien gefunden\n";
static const char no_memory_message[] = "lodrix-playlist: zu wenig Speicher\n";

static bool is_relative(const std::string &path) { return !std::filesystem::u8path(path).is_absolute(); }

// The stages in the order data flows: the options; the walk, which lists the media files;
// the readers, which read them, ahead of the rest; the tracks they make; the playlists.
int run(int argc, char **argv) {
    try {
        Options options;
        if (int status = read_options(argc, argv, options); status != go_on)
            return status;
        // A query or key that cannot be read ends the run before anything is read or written.
        Selection selection;
        if (!read_selection(options, selection))
            return 1;

        // Relative operands and -o's file are taken from the working directory as -p names it.
        std::string base;
        if (std::any_of(options.operands.begin(), options.operands.end(), is_relative) ||
            (options.output != nullptr && is_relative(options.output))) {
            const char *working = working_directory();
            if (working == nullptr)
                return no_current_directory(program);
            base = working;
        }
        PlaylistOutput output;
        if (int status = open_playlist(options.output, base, output); status != 0)
            return status;

        MediaFiles files;
        // A folder's playlist holds its files, so they must follow each other.
        bool by_folder = options.order == Order::tags || options.each_folder;
        bool all_read = collect_media_files(options.operands, base, files, by_folder) && options.lists_read;

        // Kept readings stand in for reading a file; the pool ends before the cache stores its last.
        std::unique_ptr<ReadingCache> cache;
        if (options.cache && !files.files.empty())
            cache = std::make_unique<ReadingCache>(options.cache_file ? options.cache_file : "", files);
        ReaderPool readings(files, cache.get());
        Tracks tracks(files, readings, options, selection, options.each_folder);

        int status = options.each_folder ? write_each_folder(tracks, files, options.each_name)
                                         : write_playlist(output, tracks, files, options.title);
        if (status == 1 && all_read)
            fputs(no_media_message, stderr);
        return status == 0 && !all_read ? 1 : status;
    } catch (const std::bad_alloc &) {
        fputs(no_memory_message, stderr);
        return 2;
    }
}
