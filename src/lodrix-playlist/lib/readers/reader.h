#pragma once

#include <stdint.h>

#include <string>

#include "channel.h"
#include "lodrix-playlist/lib/contents/contents.h"
#include "lodrix-playlist/lib/reading/reading.h"

/// Where the files are read, one at a time: in a process of its own, so that no file can end,
/// stall or swell the run. Started by start (forked on POSIX; on Windows this program started
/// again, with reader_option), sandboxed before it reads anything, handed each open file's
/// descriptor (on Windows its handle, duplicated into the reader), given a deadline and a memory
/// limit. Requests queue, so that a reader never waits for the program between two files;
/// answers come in the order of the requests.
class Reader {
  public:
    /// forced: the encoding of all text that is not UTF-8 (--encoding); none to detect it.
    explicit Reader(Encoding forced = Encoding::none) : forced(forced) {}
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;
    ~Reader();

    /// Starts the reader where none runs; false, with errno set, when it cannot. Call it
    /// where no other thread of the program allocates memory: a forked copy of a lock that
    /// another thread holds would stay locked in the new process (POSIX); no other thread
    /// starts a reader meanwhile (Windows: the handles it inherits are inheritable then). Once a
    /// reader answered that it lacks the converters a file's text needs (needs_converters), this
    /// opens them, and receive ends that reader: started again with them, it is handed that file
    /// again.
    bool start();

    /// Queues fd, an open regular file of size bytes whose name ends in extension (lower
    /// case); fd must stay open until its answer. Requests go to the reader several in one
    /// message: once a message is full, at flush, and before receive waits. False when the
    /// reader is gone: every request not answered is lost, so start it again and send those
    /// again.
    bool send(int fd, int64_t size, const std::string &extension);

    /// Sends what send queued; false, as send, when the reader is gone.
    bool flush();

    /// The answer to the oldest request not answered, waiting for it. A reader that has not
    /// answered 10 s (and a grace) after it began a file is ended: that file's reading is
    /// too_slow; one that ended (reader_ended_by, reader_exited) is lost too. Then lost is the
    /// place of that file among the requests not answered (0: the oldest; no_file when the
    /// reader had begun none of them), and the others are lost with the reader: start it
    /// again and send those again. A reader that lacks the converters a file needs is ended
    /// with lost no_file.
    Reading receive(size_t &lost);
    static const size_t no_file = SIZE_MAX;

    /// False once the reader was lost (ended, or gone when sent a file).
    bool running() const;

  private:
    int end();
    void wait_at_most(int64_t ms);
    Reading lose(int error, size_t &lost);

    Encoding forced;
    bool had_converters = false; ///< the reader was started with them open
    int process = -1, channel = -1; ///< the reader's process id; a descriptor of its socket or pipe
    int64_t waiting_ms = 0; ///< how long a receive on the channel waits
    Answers answers = {0, {}, {}}; ///< the last batch, and which of it is next
    unsigned next_answer = 0;
    struct ReaderProgress *progress = nullptr;
    ReadRequests unsent = {0, {}, {}}; ///< what send queued and flush has not sent
    uint64_t sent = 0, answered = 0, seen = 0; ///< files sent, answered, begun when last seen
    int64_t seen_since = 0;
    // Windows: the reader's process and its job, and the section that holds its progress; how
    // many readers in a row were lost before they began a file.
    void *process_handle = nullptr, *job = nullptr, *progress_section = nullptr;
    unsigned lost_unbegun = 0;
};

/// A reader process's life (Windows): takes the handles reader_option (channel.h) gave, enters its sandbox
/// and reads the files it is handed until the program closes the channel. Returns the exit
/// status: 1, after one message, when the handles are none the program gave.
int serve_as_reader(const char *handles);
