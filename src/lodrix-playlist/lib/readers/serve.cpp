#include "lodrix-playlist/lib/readers/serve.h"

#include <errno.h>
#include <unistd.h>

#include <new>
#include <string>

#include "lodrix-playlist/lib/contents/contents.h"
#include "lodrix-playlist/lib/readers/channel.h"
#include "lodrix-playlist/lib/reading/reading_bytes.h"
#include "lodrix-playlist/lib/system/system.h"
#include "lodrix-playlist/lib/text/extensions.h"

// The test-only attempt: the file named by path read in place of fd's, where it can be opened.
static Reading read_instead(FileContentsReader &contents, const char *path, int fd, const ReadRequest &request) {
    int64_t size;
    FileIdentity identity;
    int other = open_media_file(path, size, identity);
    if (other < 0)
        return contents.read(fd, request.size, request.extension);
    Reading reading = contents.read(other, size, lowercase_extension(path));
    close_media_file(other);
    return reading;
}

// Nothing in the reader may end the program: whatever happens here ends this process only.
[[noreturn]] void serve_files(int channel, ReaderProgress *progress, bool sandboxed, int sandbox_error, Encoding forced,
                              const char *instead) {
    Answers held = {0, {}, {}};
    ReadRequests requests = {0, {}, {}};
    uint32_t next = 0;
    uint64_t begun = 0;
    FileContentsReader contents(forced);
    __atomic_store_n(&progress->ready, 1, __ATOMIC_RELEASE);
    for (;;) {
        // Answers wait while more requests are there, so that the program wakes once for
        // several; none waits while the reader waits.
        if (next == requests.count) {
            next = 0;
            bool received = held.count > 0 ? poll_requests(channel, requests) : receive_requests(channel, requests);
            if (!received && held.count > 0 && errno == EAGAIN) {
                if (!send_answers(channel, held))
                    _exit(0);
                held.count = 0;
                received = receive_requests(channel, requests);
            }
            if (!received)
                _exit(0);
        }
        int fd = requests.fds[next];
        const ReadRequest &request = requests.requests[next++];
        __atomic_store_n(&progress->begun, ++begun, __ATOMIC_RELEASE);
        Reading &reading = held.readings[held.count++];
        reading = {Reading::unreadable, 0, sandbox_error};
        if (sandboxed) {
            try {
                reading = instead != nullptr ? read_instead(contents, instead, fd, request)
                                             : contents.read(fd, request.size, request.extension);
            } catch (const std::bad_alloc &) {
                reading.error = ENOMEM;
            }
        }
        close_media_file(fd);
        held.sizes[held.count - 1] = encoded_size(reading);
        __atomic_store_n(&progress->finished, begun, __ATOMIC_RELEASE);
        if (answers_full(held) || !sandboxed) {
            if (!send_answers(channel, held) || !sandboxed)
                _exit(0);
            held.count = 0;
        }
    }
}
