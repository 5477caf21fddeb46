#include "reader.h"

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <new>

#include "reader_channel.h"
#include "sandbox.h"

// The memory a reader may take beyond what it inherits. The largest ordinary file of a
// fuzzing campaign's 74 seeds (every listed format) took 57 MB; the index of a 40-hour
// audiobook is about 180 MB, and its header duration is still read when the index fails.
// The sanitizers' allocator keeps freed memory in quarantine, so it gets more.
#if defined(__SANITIZE_ADDRESS__)
static const size_t memory_budget = size_t(1) << 30;
#else
static const size_t memory_budget = size_t(128) << 20;
#endif

int64_t monotonic_ms() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Reads each file it is handed until the program closes the channel. Nothing in the reader
// may end the program: whatever happens here ends this process only.
[[noreturn]] static void serve(int channel, bool sandboxed, int sandbox_error) {
    for (;;) {
        ReadRequest request;
        int fd = receive_request(channel, request);
        if (fd < 0)
            _exit(0);
        Reading reading = {Reading::unreadable, 0, sandbox_error};
        if (sandboxed) {
            try {
                reading = read_duration(fd, request.size, request.extension);
            } catch (const std::bad_alloc &) {
                reading.error = ENOMEM;
            }
        }
        close(fd);
        if (!send_reading(channel, reading) || !sandboxed)
            _exit(0);
    }
}

// The new process has the program's memory and descriptors; it keeps only its channel, as
// descriptor 0, and ends when the thread that started it does.
[[noreturn]] static void become_reader(int channel, pid_t program) {
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
    bool sandboxed = limit_resources(memory_budget) && enter_sandbox(0);
    serve(0, sandboxed, sandboxed ? 0 : errno);
}

bool Reader::start() {
    if (process > 0)
        return true;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
        return false;
    pid_t program = getpid();
    process = fork();
    if (process == 0)
        become_reader(pair[1], program);
    int error = errno;
    close(pair[1]);
    if (process < 0) {
        close(pair[0]);
        errno = error;
        return false;
    }
    channel = pair[0];
    wait_at_most(longest_read_ms);
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
}

bool Reader::send(int fd, int64_t size, const std::string &extension) {
    ReadRequest request = {size, ""};
    if (extension.size() < sizeof request.extension)
        memcpy(request.extension, extension.c_str(), extension.size() + 1);
    if (process > 0 && send_request(channel, fd, request))
        return true;
    if (process > 0)
        end();
    return false;
}

Reading Reader::receive(int64_t deadline_ms) {
    Reading reading = {Reading::unreadable, 0, 0};
    // One system call per answer: a receive that gives up after longest_read_ms, then
    // waits out what is left of the deadline.
    for (;;) {
        if (receive_reading(channel, reading, true)) {
            if (waiting_ms != longest_read_ms)
                wait_at_most(longest_read_ms);
            return reading;
        }
        if (errno != EAGAIN && errno != EINTR)
            break;
        int64_t left = deadline_ms - monotonic_ms();
        if (left <= 0) {
            end();
            reading.error = too_slow;
            return reading;
        }
        wait_at_most(left);
    }
    int status = end();
    reading = {Reading::unreadable, 0, WIFSIGNALED(status) ? reader_ended_by(WTERMSIG(status)) : reader_exited};
    return reading;
}

void Reader::wait_at_most(int64_t ms) {
    timeval limit = {time_t(ms / 1000), suseconds_t(ms % 1000 * 1000)};
    setsockopt(channel, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    waiting_ms = ms;
}

std::string reading_error_text(int error) {
    if (error == too_slow)
        return "nach 10 s nicht zu Ende gelesen";
    if (error == reader_lost)
        return "Leseprozess nicht zu starten";
    if (error == reader_exited)
        return "Leseprozess vorzeitig beendet";
    if (error <= reader_ended_by(0)) {
        int signal_number = reader_ended_by(0) - error;
        const char *name = sigabbrev_np(signal_number);
        return "Leseprozess durch Signal " + (name ? "SIG" + std::string(name) : std::to_string(signal_number)) +
               " beendet";
    }
    return strerror(error);
}
