// Sleeping, the kind of standard output and the platform family.
#pragma once

#include <cstdint>

// Sleeps the whole time, whatever signals come meanwhile.
void Sleep(uint32_t milliseconds);

// Nonzero when standard output is the user's terminal (on Windows, a console).
int StdoutIsConsole();
// The same of standard error, where a progress line may be drawn.
int StderrIsConsole();

// Windows' NT family: every service that trap reception uses is there.
constexpr uint32_t kPlatformFamilyNt = 2;

// The platform family of the version query; 0 with the last error set when
// the system cannot tell.
uint32_t SystemPlatformFamily();
