#include "lodrix-playlist/lib/readers/channel.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <string.h>
#include <windows.h>

#include <string>

// A message of requests: their count, each one's handle in the reader (a handle's low 32 bits
// are all there is to it), then the requests themselves.
struct RequestsMessage {
    uint32_t count;
    uint32_t handles[most_requests];
    ReadRequest requests[most_requests];
};

static size_t requests_size(uint32_t count) {
    return sizeof(uint32_t) + count * (sizeof(uint32_t) + sizeof(ReadRequest));
}

// How long the program waits for answers before it looks at the reader's deadline again: a pipe
// has no time-out of its own.
static const DWORD answer_wait_ms = 100;

static HANDLE pipe_of(int channel) { return HANDLE(_get_osfhandle(channel)); }

// The program's end of a pipe is overlapped, so that a wait can end; this thread's event for it.
// A handle in a thread's own storage, not an object: nothing to destroy when the thread ends.
static HANDLE thread_event() {
    static thread_local HANDLE event = nullptr;
    if (event == nullptr)
        event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

// Waits at most wait_ms (INFINITE: until it is done) for an overlapped transfer; a transfer not
// done by then is cancelled (errno EAGAIN); one the other end broke off is ECONNRESET.
static bool finish(HANDLE pipe, bool done_at_once, OVERLAPPED &overlapped, DWORD wait_ms, DWORD &done) {
    if (!done_at_once && GetLastError() != ERROR_IO_PENDING)
        return errno = ECONNRESET, false;
    if (!done_at_once && WaitForSingleObject(overlapped.hEvent, wait_ms) != WAIT_OBJECT_0)
        CancelIoEx(pipe, &overlapped);
    if (GetOverlappedResult(pipe, &overlapped, &done, TRUE))
        return true;
    errno = GetLastError() == ERROR_OPERATION_ABORTED ? EAGAIN : ECONNRESET;
    return false;
}

bool send_requests(int channel, const ReadRequests &requests) {
    RequestsMessage message = {requests.count, {}, {}};
    for (uint32_t i = 0; i < requests.count && i < most_requests; ++i) {
        message.handles[i] = uint32_t(requests.fds[i]);
        message.requests[i] = requests.requests[i];
    }
    // The handles, then the requests, with no gap between.
    std::string bytes((const char *)&message, sizeof(uint32_t) * (1 + requests.count));
    bytes.append((const char *)message.requests, sizeof(ReadRequest) * requests.count);
    HANDLE pipe = pipe_of(channel);
    OVERLAPPED overlapped = {};
    overlapped.hEvent = thread_event();
    DWORD done = 0;
    return overlapped.hEvent != nullptr &&
           finish(pipe, WriteFile(pipe, bytes.data(), DWORD(bytes.size()), nullptr, &overlapped), overlapped, INFINITE,
                  done) &&
           done == bytes.size();
}

// A message of requests and as many handles as requests, each made a descriptor of the reader's.
static bool take_requests(HANDLE pipe, ReadRequests &requests) {
    char bytes[sizeof(RequestsMessage) + 1];
    DWORD length = 0;
    if (!ReadFile(pipe, bytes, sizeof bytes, &length, nullptr))
        return errno = ECONNRESET, false;
    uint32_t count = 0;
    if (length >= sizeof count)
        memcpy(&count, bytes, sizeof count);
    if (count == 0 || count > most_requests || length != requests_size(count))
        return errno = ECONNRESET, false;
    requests.count = count;
    const char *handles = bytes + sizeof count, *given = handles + count * sizeof(uint32_t);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t handle;
        memcpy(&handle, handles + i * sizeof handle, sizeof handle);
        memcpy(&requests.requests[i], given + i * sizeof(ReadRequest), sizeof(ReadRequest));
        requests.requests[i].extension[sizeof requests.requests[i].extension - 1] = '\0';
        requests.fds[i] = _open_osfhandle(intptr_t(int32_t(handle)), _O_RDONLY | _O_BINARY);
        if (requests.fds[i] < 0) {
            CloseHandle(HANDLE(intptr_t(int32_t(handle))));
            for (uint32_t before = 0; before < i; ++before)
                _close(requests.fds[before]);
            return errno = ECONNRESET, false;
        }
    }
    return true;
}

bool receive_requests(int channel, ReadRequests &requests) { return take_requests(pipe_of(channel), requests); }

bool poll_requests(int channel, ReadRequests &requests) {
    HANDLE pipe = pipe_of(channel);
    DWORD waiting = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr))
        return errno = ECONNRESET, false;
    if (waiting == 0)
        return errno = EAGAIN, false;
    return take_requests(pipe, requests);
}

bool send_answers(int channel, const Answers &answers) {
    static std::string message;
    encode_answers(answers, message);
    DWORD written = 0;
    return WriteFile(pipe_of(channel), message.data(), DWORD(message.size()), &written, nullptr) &&
           written == message.size();
}

bool receive_answers(int channel, Answers &answers) {
    // Not filled beforehand: only the pages a message reaches are ever touched. Kept for the
    // thread's life, as a plain pointer.
    static thread_local char *message = nullptr;
    if (message == nullptr)
        message = new char[largest_answers];
    HANDLE pipe = pipe_of(channel);
    OVERLAPPED overlapped = {};
    overlapped.hEvent = thread_event();
    DWORD length = 0;
    if (overlapped.hEvent == nullptr)
        return errno = ENOMEM, false;
    // A message longer than any answer (ERROR_MORE_DATA) is none.
    if (!finish(pipe, ReadFile(pipe, message, DWORD(largest_answers), nullptr, &overlapped), overlapped,
                answer_wait_ms, length))
        return false;
    return decode_answers(message, length, answers) || (errno = ECONNRESET, false);
}
