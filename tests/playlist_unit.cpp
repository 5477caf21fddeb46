// lodrix-playlist's own logic, without VLC: natural order, the extension rule, the walk, the
// readers' sandbox and their requests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "lodrix-playlist/text/text.h"
#include "lodrix-playlist/walk/media_files.h"
#include "lodrix-playlist/read/reader_channel.h"
#include "lodrix-playlist/read/sandbox.h"

// One list in playlist order, each name before every later one (as gnulib tests version order).
TEST(NaturalOrder, OneListInOrder) {
    const char *const names[] = {
        "#1.mp3",          "1.mp3",         "2.mp3",         "007.mp3",
        "10.mp3",          "track 1.mp3",   "Track 2.mp3",   "track 02b.mp3",
        "Track 007.mp3",   "track 10.mp3",  "Track 10a.mp3", "track 99999999999999999999.mp3",
        "track 100000000000000000000.mp3",  "tracks.mp3",    "x-.mp3",
        "x1.mp3",          "xa.mp3",        "\xc3\xa4.mp3",
    };
    const size_t count = sizeof names / sizeof names[0];
    for (size_t i = 0; i < count; ++i)
        for (size_t j = i; j < count; ++j) {
            EXPECT_EQ(natural_less(names[i], names[j]), i < j) << names[i] << " < " << names[j];
            EXPECT_FALSE(natural_less(names[j], names[i])) << names[j] << " < " << names[i];
        }
}

TEST(MediaExtension, AudioAndVideoInAnyCase) {
    const struct {
        const char *name;
        bool media;
    } cases[] = {
        {"a.mp3", true},   {"A.MP3", true},    {"x.Flac", true},   {"a.b.wav", true},
        {"o.opus", true},  {"m.m4a", true},    {"v.mkv", true},    {"t.ts", true},
        {"a.mp3.part", false}, {"mp3", false}, {"a.", false},      {"a.mp", false},
        {"a.mp33", false}, {"notes.txt", false}, {"cover.jpg", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(has_media_extension(c.name), c.media) << c.name;
}

// A scratch tree: which files a run lists, in order, for given operands.
TEST(Walk, ListsMediaFilesInOrder) {
    namespace fs = std::filesystem;
    char scratch_template[] = "/tmp/lodrix-walk.XXXXXX";
    ASSERT_NE(mkdtemp(scratch_template), nullptr);
    const std::string scratch = scratch_template;
    for (const char *file : {"real/b 10.mp3", "real/b 9.MP3", "real/notes.txt", "real/.hidden.mp3",
                             "real/.folder/x.mp3", "real/sub/c.flac", "outside.mp3"}) {
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
    } cases[] = {
        {{"real"}, {"real/b 9.MP3", "real/b 10.mp3", "real/linked.mp3", "real/sub/c.flac"}},
        {{"./real/sub/../b 10.mp3", "real/./sub/"}, {"real/b 10.mp3", "real/sub/c.flac"}},
        {{"real/notes.txt", scratch + "/real/sub"}, {"real/notes.txt", "real/sub/c.flac"}},
        {{"real/fifo.mp3", "real/.folder"}, {"real/.folder/x.mp3"}},
    };
    for (const auto &c : cases) {
        MediaFiles files;
        EXPECT_TRUE(collect_media_files(c.operands, scratch, files));
        std::vector<std::string> listed;
        for (size_t i = 0; i < files.files.size(); ++i)
            listed.push_back(media_file_path(files, i).substr(scratch.size() + 1));
        EXPECT_EQ(listed, c.listed) << c.operands[0];
    }
    EXPECT_EQ(chdir(cwd.c_str()), 0);
    fs::remove_all(scratch);
}

// A sandboxed process can read what it holds and answer over its channel, and nothing else.
TEST(Sandbox, ReadsWhatItHoldsAndNothingElse) {
    const struct {
        const char *attempt;
        bool allowed;
        bool (*run)(int held);
    } cases[] = {
        {"read the descriptor it holds", true, [](int held) { char c; return pread(held, &c, 1, 0) == 1; }},
        {"allocate memory", true, [](int) { return malloc(1 << 24) != nullptr; }},
        {"open a file to read", false, [](int) { return open("/etc/passwd", O_RDONLY) >= 0; }},
        {"make a file", false, [](int) { return open("/tmp/lodrix-sandboxed", O_WRONLY | O_CREAT, 0600) >= 0; }},
        {"start a program", false, [](int) {
             char *const argv[] = {(char *)"true", nullptr};
             return execv("/bin/true", argv) == 0;
         }},
        {"open a network socket", false, [](int) { return socket(AF_INET, SOCK_STREAM, 0) >= 0; }},
        {"open a local socket", false, [](int) { return socket(AF_UNIX, SOCK_STREAM, 0) >= 0; }},
        {"start a process", false, [](int) {
             long process = syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0);
             if (process == 0)
                 _exit(0);
             return process > 0;
         }},
        {"signal its parent", false, [](int) { return kill(getppid(), 0) == 0; }},
        {"write to standard error", false, [](int) { return write(2, "", 0) == 0; }},
        {"map executable memory", false, [](int) {
             return mmap(nullptr, 4096, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0) != MAP_FAILED;
         }},
    };
    const size_t count = sizeof cases / sizeof cases[0];
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair), 0);
    int held = open("/proc/self/exe", O_RDONLY);
    ASSERT_GE(held, 0);
    pid_t child = fork();
    if (child == 0) {
        // The answers: one byte per case, '1' where the attempt succeeded, over the channel.
        char results[count + 1] = {};
        results[0] = enter_sandbox(pair[1]) ? 'S' : 'F';
        for (size_t i = 0; i < count && results[0] == 'S'; ++i)
            results[i + 1] = cases[i].run(held) ? '1' : '0';
        iovec part = {results, sizeof results};
        msghdr message = {};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        _exit(sendmsg(pair[1], &message, 0) == ssize_t(sizeof results) ? 0 : 1);
    }
    char results[count + 1] = {};
    EXPECT_EQ(recv(pair[0], results, sizeof results, 0), ssize_t(sizeof results));
    int status;
    waitpid(child, &status, 0);
    ASSERT_EQ(results[0], 'S') << "enter_sandbox failed";
    for (size_t i = 0; i < count; ++i)
        EXPECT_EQ(results[i + 1], cases[i].allowed ? '1' : '0') << cases[i].attempt;
    close(held);
    close(pair[0]);
    close(pair[1]);
}

// A message of requests is taken whole or not at all: each request with its descriptor, at
// most four; a descriptor of a message refused is not left open.
TEST(ReaderChannel, RequestsTakenOnlyWithTheirDescriptors) {
    const struct {
        unsigned requests, descriptors;
        bool taken;
    } cases[] = {
        {1, 1, true}, {4, 4, true}, {2, 1, false}, {1, 2, false}, {1, 0, false}, {5, 5, false},
    };
    for (const auto &c : cases) {
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair), 0);
        ReadRequest sent[5] = {};
        int fds[5];
        for (unsigned i = 0; i < 5; ++i) {
            sent[i].size = i;
            sent[i].extension[0] = char('a' + i);
            fds[i] = open("/dev/null", O_RDONLY);
        }
        iovec part = {sent, sizeof(ReadRequest) * c.requests};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof fds)];
        msghdr message = {};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        if (c.descriptors > 0) {
            message.msg_control = control;
            message.msg_controllen = CMSG_SPACE(sizeof(int) * c.descriptors);
            cmsghdr *header = CMSG_FIRSTHDR(&message);
            *header = {CMSG_LEN(sizeof(int) * c.descriptors), SOL_SOCKET, SCM_RIGHTS};
            memcpy(CMSG_DATA(header), fds, sizeof(int) * c.descriptors);
        }
        ASSERT_GE(sendmsg(pair[0], &message, 0), 0);
        for (int fd : fds)
            close(fd);
        int first_free = dup(0);
        close(first_free);
        ReadRequests received;
        ASSERT_EQ(receive_requests(pair[1], received), c.taken) << c.requests << " for " << c.descriptors;
        if (c.taken) {
            ASSERT_EQ(received.count, c.requests);
            for (unsigned i = 0; i < c.requests; ++i) {
                EXPECT_EQ(received.requests[i].size, int64_t(i));
                EXPECT_EQ(received.requests[i].extension[0], char('a' + i));
                EXPECT_EQ(close(received.fds[i]), 0);
            }
        } else {
            EXPECT_EQ(errno, ECONNRESET);
        }
        int next_free = dup(0);
        close(next_free);
        EXPECT_EQ(next_free, first_free) << c.requests << " for " << c.descriptors << ": a descriptor left open";
        close(pair[0]);
        close(pair[1]);
    }
}
