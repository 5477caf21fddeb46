// The walk of a scratch tree.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "lodrix-playlist/lib/reading/media_files.h"
#include "lodrix-playlist/walk/walk.h"

// A scratch tree: which files a run lists, in order, for given operands.
TEST(Walk, ListsMediaFilesInOrder) {
    namespace fs = std::filesystem;
    char scratch_template[] = "/tmp/lodrix-walk.XXXXXX";
    ASSERT_NE(mkdtemp(scratch_template), nullptr);
    const std::string scratch = scratch_template;
    for (const char *file : {"real/b 10.mp3", "real/b 9.MP3", "real/notes.txt", "real/.hidden.mp3",
                             "real/.folder/x.mp3", "real/sub/c.flac", "outside.mp3", "album/disc.cue", "album/a.wav",
                             "album/folder.png", "album/cover.jpg"}) {
        fs::create_directories(fs::path(scratch + "/" + file).parent_path());
        std::ofstream(scratch + "/" + file) << "x";
    }
    ASSERT_EQ(symlink(".", (scratch + "/real/loop").c_str()), 0);
    ASSERT_EQ(symlink("../outside.mp3", (scratch + "/real/linked.mp3").c_str()), 0);
    ASSERT_EQ(mkfifo((scratch + "/real/fifo.mp3").c_str(), 0600), 0);
    const std::string cwd = fs::current_path();
    ASSERT_EQ(chdir(scratch.c_str()), 0);

    const struct {
        std::vector<std::string> operands;
        std::vector<std::string> listed; // paths below the scratch folder
        std::string cover = "";          // the first file's, below the scratch folder
    } cases[] = {
        {{"real"}, {"real/b 9.MP3", "real/b 10.mp3", "real/linked.mp3", "real/sub/c.flac"}},
        {{"./real/sub/../b 10.mp3", "real/./sub/"}, {"real/b 10.mp3", "real/sub/c.flac"}},
        {{"real/notes.txt", scratch + "/real/sub"}, {"real/notes.txt", "real/sub/c.flac"}},
        {{"real/fifo.mp3", "real/.folder"}, {"real/.folder/x.mp3"}},
        {{"album/disc.cue"}, {"album/disc.cue", "album/a.wav"}, "album/cover.jpg"},
    };
    for (const auto &c : cases) {
        MediaFiles files;
        EXPECT_TRUE(collect_media_files(c.operands, scratch, files));
        std::vector<std::string> listed;
        for (size_t i = 0; i < files.files.size(); ++i)
            listed.push_back(media_file_path(files, i).substr(scratch.size() + 1));
        EXPECT_EQ(listed, c.listed) << c.operands[0];
        const MediaFiles::Cover &cover = files.covers[files.files[0].folder];
        EXPECT_EQ(cover.name.empty() ? "" : (cover.folder + "/" + cover.name).substr(scratch.size() + 1), c.cover)
            << c.operands[0];
    }
    // Asked for, each file's modification time, in the files' order.
    timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (scratch + "/real/sub/c.flac").c_str(), times, 0), 0);
    MediaFiles timed;
    EXPECT_TRUE(collect_media_files({"real/sub", "outside.mp3"}, scratch, timed, false, true));
    ASSERT_EQ(timed.modified.size(), 2u);
    EXPECT_EQ(timed.modified[0], 1700000000);
    EXPECT_GT(timed.modified[1], 1700000000);
    EXPECT_EQ(chdir(cwd.c_str()), 0);
    fs::remove_all(scratch);
}

