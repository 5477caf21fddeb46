#pragma once

#include <stdint.h>

/// 64 bits from the system's random source, for a shuffle without --seed.
uint64_t random_seed();
