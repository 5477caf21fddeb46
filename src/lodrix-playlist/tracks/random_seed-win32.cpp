#include "random_seed.h"

#include <windows.h>

#include <bcrypt.h>

uint64_t random_seed() {
    uint64_t seed = 0;
    if (BCryptGenRandom(nullptr, (PUCHAR)&seed, sizeof seed, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        // Where the system's generator fails, the time still makes each run's list another.
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        seed = uint64_t(now.QuadPart);
    }
    return seed;
}
