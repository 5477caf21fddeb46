#pragma once

#include <stddef.h>

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
/// the kernel has failed: then the process must not read.
bool enter_sandbox(int channel);
