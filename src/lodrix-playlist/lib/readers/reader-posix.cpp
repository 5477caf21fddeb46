#include "lodrix-playlist/lib/readers/reader.h"

#include <errno.h>
#include <malloc.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <new>

#include "lodrix-playlist/lib/encoding/encoding.h"
#include "lodrix-playlist/lib/readers/channel.h"
#include "lodrix-playlist/lib/reading/reading_bytes.h"
#include "lodrix-playlist/lib/readers/sandbox.h"
#include "lodrix-playlist/lib/readers/serve.h"
#include "lodrix-playlist/lib/system/system.h"

// The memory a reader may take beyond what it inherits. The largest ordinary file of a
// fuzzing campaign's 74 seeds (every listed format) took 57 MB; the index of a 40-hour
// audiobook is about 180 MB, and its header duration is still read when the index fails.
// The sanitizers' allocator keeps freed memory in quarantine, so it gets more.
#if defined(__SANITIZE_ADDRESS__)
static const size_t memory_budget = size_t(1) << 30;
#else
static const size_t memory_budget = size_t(128) << 20;
#endif

// What a reader keeps of the memory its files freed.
static const int kept_memory = 32 << 20;


// Set once a reader answered that a file's text needs converters it had not: readers started
// from then on have them. Most runs need none, and opening them costs a millisecond.
static std::atomic<bool> converters_wanted(false);

// A reader that reads (and checks its own deadline) answers first; one that does not is
// ended this much later.
static const int64_t grace_ms = 1000;


// The new process has the program's memory and descriptors; it keeps only its channel, as
// descriptor 0, and ends when the thread that started it does.
[[noreturn]] static void become_reader(int channel, ReaderProgress *progress, pid_t program, Encoding forced) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != program)
        _exit(0);
    // The program's handlers (which remove an unfinished playlist) are not the reader's.
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        signal(signal_number, SIG_IGN);
    if (dup2(channel, 0) != 0)
        _exit(0);
    if (close_range(1, ~0u, 0) != 0)
        for (int fd = 1; fd < 1024; ++fd)
            close(fd);
    // Forked from a thread, a reader allocates from that thread's arena, which glibc trims
    // whenever a file's memory is freed: the next file would fault the same pages in again,
    // each zeroed by the kernel. Kept instead, up to what a large file takes; blocks up to
    // that size come from the heap too, not from a mapping of their own made and unmade
    // for every file.
    mallopt(M_TRIM_THRESHOLD, kept_memory);
    mallopt(M_MMAP_THRESHOLD, kept_memory);
    bool sandboxed = limit_resources(memory_budget) && enter_sandbox(0);
    serve_files(0, progress, sandboxed, sandboxed ? 0 : errno, forced, nullptr);
}

bool Reader::start() {
    if (process > 0)
        return true;
    if (progress == nullptr) {
        void *shared = mmap(nullptr, sizeof(ReaderProgress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (shared == MAP_FAILED)
            return false;
        progress = (ReaderProgress *)shared;
    }
    progress->begun = progress->finished = 0;
    sent = answered = seen = 0;
    answers.count = next_answer = 0;
    unsent.count = 0;
    // A sandboxed reader cannot load a converter from disk: it inherits the ones opened here,
    // where no other thread forks, once a reader asked for them.
    if (converters_wanted.load())
        open_converters(forced);
    had_converters = converters_opened();
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
        return false;
    pid_t program = getpid();
    process = fork();
    if (process == 0)
        become_reader(pair[1], progress, program, forced);
    int error = errno;
    close(pair[1]);
    if (process < 0) {
        close(pair[0]);
        errno = error;
        return false;
    }
    channel = pair[0];
    wait_at_most(longest_read_ms + grace_ms);
    return true;
}

// Ends the reader at once and returns its wait status.
int Reader::end() {
    kill(process, SIGKILL);
    close(channel);
    int status = 0;
    while (waitpid(process, &status, 0) < 0 && errno == EINTR) {
    }
    process = channel = -1;
    return status;
}

bool Reader::running() const { return process > 0; }

Reader::~Reader() {
    if (process > 0)
        end();
    if (progress != nullptr)
        munmap(progress, sizeof(ReaderProgress));
}

bool Reader::send(int fd, int64_t size, const std::string &extension) {
    if (process <= 0 || (unsent.count == most_requests && !flush()))
        return false;
    ReadRequest &request = unsent.requests[unsent.count];
    request = {size, ""};
    if (extension.size() < sizeof request.extension)
        memcpy(request.extension, extension.c_str(), extension.size() + 1);
    unsent.fds[unsent.count++] = fd;
    // A reader with nothing to read gets the file at once; a busy one several in a message.
    return sent > answered || flush();
}

bool Reader::flush() {
    if (process <= 0)
        return false;
    if (unsent.count == 0)
        return true;
    if (!send_requests(channel, unsent)) {
        end();
        return false;
    }
    // Idle until now: the deadline runs from here.
    if (sent == answered)
        seen_since = monotonic_ms();
    sent += unsent.count;
    unsent.count = 0;
    return true;
}

Reading Reader::receive(size_t &lost) {
    lost = 0;
    // Gone before it took the last requests: every file not answered is handed again.
    if (!flush()) {
        lost = no_file;
        return {Reading::unreadable, 0, reader_lost};
    }
    // One system call per batch of answers. The deadline runs from when the reader was last
    // seen to begin a file; the receive's time-out is changed only once it is near.
    for (;;) {
        if (next_answer < answers.count) {
            // Ended, it is started again with the converters, and handed again every file it had
            // not answered. One started with them that asks again is not believed.
            const Reading &answer = answers.readings[next_answer];
            if (answer.outcome == Reading::unreadable && answer.error == needs_converters && !had_converters) {
                converters_wanted.store(true);
                end();
                lost = no_file;
                return {Reading::unreadable, 0, reader_lost};
            }
            ++answered;
            return std::move(answers.readings[next_answer++]);
        }
        bool received = receive_answers(channel, answers);
        if (!received && errno != EAGAIN && errno != EINTR) {
            int status = end();
            return lose(WIFSIGNALED(status) ? reader_ended_by(WTERMSIG(status)) : reader_exited, lost);
        }
        int64_t now = monotonic_ms();
        uint64_t begun = __atomic_load_n(&progress->begun, __ATOMIC_ACQUIRE);
        if (begun != seen) {
            seen = begun;
            seen_since = now;
        }
        if (received) {
            next_answer = 0;
            // What a reader says is not trusted: more answers than requests end it.
            if (answered + answers.count > sent)
                return lose(reader_exited, lost);
            if (waiting_ms != longest_read_ms + grace_ms)
                wait_at_most(longest_read_ms + grace_ms);
            continue;
        }
        answers.count = 0;
        int64_t left = seen_since + longest_read_ms + grace_ms - now;
        if (left <= 0)
            return lose(too_slow, lost);
        wait_at_most(left);
    }
}

// The reader is lost: the file it was reading gets error; lost is its place among the files
// not answered, or no_file when it was reading none (it was lost between two). A
// reader that says it began a file it was not sent is not believed.
Reading Reader::lose(int error, size_t &lost) {
    if (process > 0)
        end();
    uint64_t begun = __atomic_load_n(&progress->begun, __ATOMIC_ACQUIRE);
    bool reading = __atomic_load_n(&progress->finished, __ATOMIC_ACQUIRE) != begun;
    lost = begun > sent ? 0 : reading && begun > answered ? size_t(begun - 1 - answered) : Reader::no_file;
    return {Reading::unreadable, 0, error};
}

void Reader::wait_at_most(int64_t ms) {
    timeval limit = {time_t(ms / 1000), suseconds_t(ms % 1000 * 1000)};
    setsockopt(channel, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    waiting_ms = ms;
}

