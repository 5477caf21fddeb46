#include "lodrix-playlist/lib/readers/reader.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <new>
#include <string>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include "lodrix-playlist/lib/readers/channel.h"
#include "lodrix-playlist/lib/readers/sandbox.h"
#include "lodrix-playlist/lib/readers/serve.h"
#include "lodrix-playlist/lib/reading/reading_bytes.h"
#include "lodrix-playlist/lib/system/system.h"
#include "lodrix-playlist/lib/text/extensions.h"
#include "lodrix-playlist/lib/text/messages.h"
#include "lodrix-playlist/lib/text/text.h"

static const char not_a_reader_message[] = N_("%s%s: only for the program's own reader processes");

// The memory a reader may commit (its job's limit): 128 MiB for a file, as on Linux (the index of
// a 40-hour audiobook is about 180 MB; its header duration is still read when the index fails),
// and what the program itself takes, about 10 MiB.
static const size_t memory_budget = size_t(160) << 20;
// No block FFmpeg allocates may pass the budget: where the job's limit is not enforced (Wine), a
// file that asks for gigabytes at once still fails.
static const size_t largest_allocation = size_t(128) << 20;

// Test-only (tests/windows.sh): a file the reader tries to open by name, as a reader that a file
// took over would, to read in place of each file it is handed where it can. The sandbox must
// refuse it; the variable is no setting of the program's.
static const char open_by_name_variable[] = "LODRIX_TEST_READER_OPENS";

// A reader that reads (and checks its own deadline) answers first; one that does not is
// ended this much later.
static const int64_t grace_ms = 1000;

// Both ends of the pipes readers talk over (in the message mode, which keeps a message whole):
// requests are small, and an answer that does not fit waits until the program reads.
static const DWORD pipe_buffer = 64 * 1024;

// Nothing in the reader may end the program: whatever happens here ends this process only, at
// once (no debugger, no report).
static LONG WINAPI end_at_once(EXCEPTION_POINTERS *fault) {
    TerminateProcess(GetCurrentProcess(), fault->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}



static HANDLE handle_at(const char *&text) {
    char *end;
    unsigned long long value = strtoull(text, &end, 10);
    bool valid = end != text && value > 0 && value <= UINT32_MAX;
    text = end;
    return valid ? HANDLE(uintptr_t(value)) : nullptr;
}

int serve_as_reader(const char *handles) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(end_at_once);
    const char *at = handles;
    HANDLE pipe = handle_at(at);
    HANDLE section = *at == ',' ? handle_at(++at) : nullptr;
    // The encoding --encoding named, by its number.
    char *end = nullptr;
    unsigned long encoding = *at == ',' ? strtoul(++at, &end, 10) : encoding_count;
    if (end != nullptr && end != at)
        at = end;
    void *view = pipe != nullptr && section != nullptr && encoding < encoding_count && *at == '\0' &&
                         GetFileType(pipe) == FILE_TYPE_PIPE
                     ? MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof(ReaderProgress))
                     : nullptr;
    int channel = view != nullptr ? _open_osfhandle(intptr_t(pipe), _O_RDWR | _O_BINARY) : -1;
    if (channel < 0) {
        report(not_a_reader_message, reader_option, printable(handles).c_str());
        return 1;
    }
    // A file's faults are its reading's outcome, never a line of FFmpeg's.
    av_log_set_level(AV_LOG_QUIET);
    av_max_alloc(largest_allocation);
    bool sandboxed = enter_sandbox(channel);
    serve_files(channel, (ReaderProgress *)view, sandboxed, sandboxed ? 0 : errno, Encoding(encoding),
                getenv(open_by_name_variable));
}

// A pipe of the program's (overlapped, so that a wait for it can end) and the reader's end of it
// (inheritable), in the message mode; its name is taken at once by the program's own end. Named
// at random: a process id comes again soon (under Wine at once), while the readers of the run
// that had it may still hold their pipes.
static bool make_pipe(HANDLE &program_end, HANDLE &reader_end) {
    std::wstring name = L"\\\\.\\pipe\\lodrix-playlist-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(random_seed());
    program_end = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                   pipe_buffer, pipe_buffer, 0, nullptr);
    if (program_end == INVALID_HANDLE_VALUE)
        return errno = errno_of_windows_error(GetLastError()), false;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    reader_end = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inherited, OPEN_EXISTING,
                             SECURITY_SQOS_PRESENT | SECURITY_ANONYMOUS, nullptr);
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (reader_end != INVALID_HANDLE_VALUE && SetNamedPipeHandleState(reader_end, &mode, nullptr, nullptr))
        return true;
    errno = errno_of_windows_error(GetLastError());
    if (reader_end != INVALID_HANDLE_VALUE)
        CloseHandle(reader_end);
    CloseHandle(program_end);
    return false;
}

bool Reader::start() {
    if (process > 0)
        return true;
    if (progress == nullptr) {
        SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
        progress_section =
            CreateFileMappingW(INVALID_HANDLE_VALUE, &inherited, PAGE_READWRITE, 0, sizeof(ReaderProgress), nullptr);
        progress = progress_section != nullptr
                       ? (ReaderProgress *)MapViewOfFile(progress_section, FILE_MAP_WRITE, 0, 0, sizeof(ReaderProgress))
                       : nullptr;
        if (progress == nullptr)
            return errno = errno_of_windows_error(GetLastError()), false;
    }
    progress->ready = progress->begun = progress->finished = 0;
    sent = answered = seen = 0;
    answers.count = next_answer = 0;
    unsent.count = 0;
    HANDLE program_end, reader_end;
    if (!make_pipe(program_end, reader_end))
        return false;
    std::string given = reader_option + std::to_string(uintptr_t(reader_end)) + "," +
                        std::to_string(uintptr_t(progress_section)) + "," + std::to_string(unsigned(forced));
    void *inherited[] = {reader_end, progress_section};
    SandboxedProcess started;
    bool running = start_sandboxed(std::wstring(given.begin(), given.end()), inherited, 2, memory_budget, started);
    int error = errno;
    CloseHandle(reader_end);
    channel = running ? _open_osfhandle(intptr_t(program_end), _O_RDWR | _O_BINARY) : -1;
    if (channel < 0) {
        if (running) {
            TerminateProcess(started.process, 1);
            CloseHandle(started.process);
            CloseHandle(started.job);
        }
        CloseHandle(program_end);
        errno = running ? EMFILE : error;
        return false;
    }
    process = int(started.id);
    process_handle = started.process;
    job = started.job;
    return true;
}

// Ends the reader at once, without waiting for it to be gone (no process is left to reap), and
// returns its exit code, STILL_ACTIVE until then.
int Reader::end() {
    TerminateProcess(process_handle, 1);
    DWORD code = 0;
    GetExitCodeProcess(process_handle, &code);
    CloseHandle(process_handle);
    CloseHandle(job);
    _close(channel);
    process = channel = -1;
    process_handle = job = nullptr;
    return int(code);
}

bool Reader::running() const { return process > 0; }

Reader::~Reader() {
    if (process > 0)
        end();
    if (progress != nullptr)
        UnmapViewOfFile(progress);
    if (progress_section != nullptr)
        CloseHandle(progress_section);
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

// Each file goes to the reader as a handle of its own that can only read.
bool Reader::flush() {
    if (process <= 0)
        return false;
    if (unsent.count == 0)
        return true;
    ReadRequests handed = unsent;
    bool duplicated = true;
    for (uint32_t i = 0; i < unsent.count && duplicated; ++i) {
        HANDLE in_reader = nullptr;
        duplicated = DuplicateHandle(GetCurrentProcess(), HANDLE(_get_osfhandle(unsent.fds[i])), process_handle,
                                     &in_reader, FILE_READ_DATA | SYNCHRONIZE, FALSE, 0);
        handed.fds[i] = int(intptr_t(in_reader));
    }
    if (!duplicated || !send_requests(channel, handed)) {
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
    // The deadline runs from when the reader was last seen to begin a file; a wait for answers
    // ends every tenth of a second to look at it.
    for (;;) {
        if (next_answer < answers.count) {
            ++answered;
            return std::move(answers.readings[next_answer++]);
        }
        bool received = receive_answers(channel, answers);
        if (!received && errno != EAGAIN)
            return lose(reader_exited, lost);
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
            continue;
        }
        answers.count = 0;
        if (seen_since + longest_read_ms + grace_ms <= now)
            return lose(too_slow, lost);
    }
}

// The reader is lost: the file it was reading gets error; lost is its place among the files
// not answered, or no_file when it was reading none (it was lost between two). A reader that
// says it began a file it was not sent is not believed. The second reader in a row lost before
// it began a file costs the oldest its reading (reader_lost where it never started), so that
// readers that keep ending cost each file two tries, never an endless round of new ones.
Reading Reader::lose(int error, size_t &lost) {
    if (process > 0)
        end();
    uint64_t begun = __atomic_load_n(&progress->begun, __ATOMIC_ACQUIRE);
    lost_unbegun = begun == 0 ? lost_unbegun + 1 : 0;
    if (lost_unbegun == 2) {
        lost_unbegun = 0;
        lost = 0;
        return {Reading::unreadable, 0, __atomic_load_n(&progress->ready, __ATOMIC_ACQUIRE) ? error : reader_lost};
    }
    bool reading = __atomic_load_n(&progress->finished, __ATOMIC_ACQUIRE) != begun;
    lost = begun > sent ? 0 : reading && begun > answered ? size_t(begun - 1 - answered) : Reader::no_file;
    return {Reading::unreadable, 0, error};
}
