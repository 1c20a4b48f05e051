// Random bits from the system, for the first request ID of a process.
#pragma once

#include <cstdint>

// From the system's random source, or from the clock and the process when that
// fails.
uint32_t RandomSeed();
