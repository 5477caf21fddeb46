// Built only into AddressSanitizer builds made with a clang older than 17, whose runtime does
// not hold its allocator across fork: a reader forked while another thread was inside malloc
// inherited a held lock and hung at its first allocation, and its file was "too slow". Its
// newer runtimes take these same locks around fork themselves.
#include <pthread.h>

namespace __lsan {
void LockAllocator();
void UnlockAllocator();
} // namespace __lsan
namespace __sanitizer {
void StackDepotLockAll();
void StackDepotUnlockAll();
} // namespace __sanitizer

static void before_fork() {
    __lsan::LockAllocator();
    __sanitizer::StackDepotLockAll();
}

static void after_fork() {
    __sanitizer::StackDepotUnlockAll();
    __lsan::UnlockAllocator();
}

__attribute__((constructor)) static void hold_allocator_across_fork() {
    pthread_atfork(before_fork, after_fork, after_fork);
}
