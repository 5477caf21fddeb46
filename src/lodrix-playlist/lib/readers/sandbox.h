#pragma once

#include <stddef.h>

#include <string>

// What a reader process may do once it has been set up: read the descriptors it holds or is
// handed, and talk over its channel; nothing else. It cannot open a file (not even one it was
// given the name of), start a program, make a socket or a process, or signal one.

/// Limits the calling process's heap and private mappings to what it holds now and budget
/// bytes more, so that a file that asks for more memory fails fast instead of swelling the
/// machine; and stops it from dumping core or writing to files.
bool limit_resources(size_t budget);

/// Confines the calling process for good: no new privileges, no file-system access at all
/// (Landlock, where the kernel has it), and only the system calls that reading needs
/// (seccomp), messages only over the descriptor channel. False, with errno set, when a step
/// the kernel has failed: then the process must not read. On Windows the reader's first thread
/// drops the token it started under (below), and the channel is not needed.
bool enter_sandbox(int channel);

// On Windows, where a reader is this program started again (not forked), the program sets
// most of it up as it starts the reader: the token, the job and its limits. The reader's first
// thread begins under a token that can still load the program; enter_sandbox drops it there.

/// A reader process as started: its process and its job (handles).
struct SandboxedProcess {
    void *process = nullptr, *job = nullptr;
    unsigned long id = 0;
};

/// Windows: starts this program again with arguments (UTF-16) as a process that inherits only
/// the count handles given and no console; in a job that ends it when the program ends or closes
/// the job, allows it no process of its own and budget bytes of memory; under a restricted token
/// of low integrity that can open nothing by name. False, with errno set, when it cannot be
/// started so: a reader is never started without its sandbox.
bool start_sandboxed(const std::wstring &arguments, void *const *handles, size_t count, size_t budget,
                     SandboxedProcess &started);
