// Sleeping, the kind of standard output and the platform family.
#pragma once

#include <cstdint>

// Sleeps the whole time, whatever signals come meanwhile.
void Sleep(uint32_t milliseconds);

// Nonzero when standard output is the user's terminal (on Windows, a console).
int StdoutIsConsole();
// The same of standard error, where a progress line may be drawn.
int StderrIsConsole();
// Standard output carries UTF-8 lines ended by a bare LF from now on (on
// Windows: binary mode, and a console shows UTF-8; elsewhere it already does).
void UseUtf8LineOutput();

// Windows' NT family: every service that trap reception uses is there.
constexpr uint32_t kPlatformFamilyNt = 2;

// The platform family of the version query; 0 with the last error set when
// the system cannot tell.
uint32_t SystemPlatformFamily();
