// The readers' sandbox and the requests they take.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "lodrix-playlist/lib/encoding/encoding.h"
#include "lodrix-playlist/lib/readers/channel.h"
#include "lodrix-playlist/lib/readers/sandbox.h"
#include "lodrix-playlist/lib/reading/reading_bytes.h"

// A sandboxed process can read what it holds and answer over its channel, and nothing else;
// it decodes text with the converters opened before, and can open none.
TEST(Sandbox, ReadsWhatItHoldsAndNothingElse) {
    open_converters(Encoding::none);
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
        {"decode GBK with a converter opened before", true, [](int) {
             std::string text;
             return decode_text(Encoding::gbk, "\xc6\xdf\xc0\xef\xcf\xe3", 6, text) && text == "七里香";
         }},
        {"open a converter", false, [](int) { return iconv_open("UTF-8", "CP1253") != iconv_t(-1); }},
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

// A message of answers, as both platforms' readers send it, is taken whole or not at all: a
// count from 1 to 4, each reading's length within the message and largest_reading, nothing after.
TEST(ReaderChannel, AnswersTakenOnlyWhole) {
    Answers sent = {2, {{Reading::measured, 4200, 0}, {Reading::unreadable, 0, ENOMEM}}, {}};
    std::string valid;
    encode_answers(sent, valid);
    const auto number = [](uint32_t value) { return std::string((const char *)&value, sizeof value); };
    const size_t first_length = sizeof(uint32_t), first = 2 * sizeof(uint32_t);
    const size_t first_size = encoded_size(sent.readings[0]);
    ASSERT_EQ(valid.substr(0, first), number(2) + number(uint32_t(first_size)));
    std::string five = number(5);
    for (int i = 0; i < 5; ++i)
        five += valid.substr(first_length, sizeof(uint32_t) + first_size);
    const struct {
        const char *change;
        size_t at, length; ///< the bytes replaced
        std::string by;
    } rows[] = {
        {"as sent", 0, 0, ""},
        {"no reading", 0, 4, number(0)},
        {"more readings than a message holds", 0, valid.size(), five},
        {"more readings than the message has", 0, 4, number(3)},
        {"a reading longer than the message", first_length, 4, number(uint32_t(valid.size()))},
        {"a reading longer than any", first_length, 4, number(uint32_t(largest_reading + 1))},
        {"a reading that is none", first, 1, "\x07"},
        {"a byte after the readings", valid.size(), 0, "x"},
    };
    for (const auto &row : rows) {
        std::string changed = valid.substr(0, row.at) + row.by + valid.substr(row.at + row.length);
        Answers received;
        EXPECT_EQ(decode_answers(changed.data(), changed.size(), received), row.at == 0 && row.length == 0)
            << row.change;
        if (row.at == 0 && row.length == 0)
            EXPECT_TRUE(received.count == 2 && received.readings[0].duration_ms == 4200 &&
                        received.readings[1].error == ENOMEM);
    }
    EXPECT_FALSE(decode_answers(valid.data(), 3, sent)) << "shorter than a count";
}
