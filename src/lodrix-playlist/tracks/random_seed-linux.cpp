#include "random_seed.h"

#include <errno.h>
#include <sys/random.h>
#include <time.h>

uint64_t random_seed() {
    uint64_t seed;
    ssize_t got;
    // Waits only while the kernel's pool is not yet ready, early at boot.
    while ((got = getrandom(&seed, sizeof seed, 0)) < 0 && errno == EINTR) {
    }
    if (got == ssize_t(sizeof seed))
        return seed;
    // A kernel without getrandom: the time still makes each run's list another.
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}
