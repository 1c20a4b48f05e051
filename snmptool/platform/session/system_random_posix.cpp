#include "session/system_random.h"

#include <sys/random.h>
#include <unistd.h>

#include <chrono>

uint32_t RandomSeed()
{
    uint32_t seed = 0;
    if (getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed)) {
        auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        seed = static_cast<uint32_t>(ticks) ^ (static_cast<uint32_t>(getpid()) << 16);
    }
    return seed;
}
