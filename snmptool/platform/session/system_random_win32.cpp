#include <windows.h>

#include <chrono>

#include "session/system_random.h"

uint32_t RandomSeed()
{
    // The clock and the process number, mixed: request IDs need to differ from
    // one run to the next, not to be secret.
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto now = std::chrono::system_clock::now().time_since_epoch().count();
    uint64_t mixed = static_cast<uint64_t>(ticks) ^ (static_cast<uint64_t>(now) << 7) ^
                     (static_cast<uint64_t>(GetCurrentProcessId()) << 16);
    mixed ^= mixed >> 33;
    mixed *= 0xff51afd7ed558ccdULL;
    mixed ^= mixed >> 33;
    return static_cast<uint32_t>(mixed);
}
