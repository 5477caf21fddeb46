#pragma once

#include <stdint.h>

#include "lodrix-playlist/lib/encoding/encoding.h"

// A reader process's work, the same on every platform once it is started and sandboxed: the
// files it is handed, read one after the other, the answers sent back several at a time.

/// What the program and a reader share: whether the reader has started (its sandbox entered),
/// how many files it has begun and finished, so that the program knows which file a lost
/// reader was reading, and that it still reads.
struct ReaderProgress {
    uint64_t ready, begun, finished;
};

/// Reads each file it is handed over channel until the program closes it, and ends the process
/// then. Unsandboxed, each file's reading is sandbox_error. instead (tests only): a file the
/// reader tries to open by name and read in place of each file it is handed.
[[noreturn]] void serve_files(int channel, ReaderProgress *progress, bool sandboxed, int sandbox_error, Encoding forced,
                              const char *instead);
