// Console control events: Ctrl+C and its kin, turned into calls of the tool's
// routine instead of the end of the process.
#pragma once

#include <cstdint>

// Control types handed to the routine (the numbers are Windows' own).
enum : uint32_t {
    kControlInterrupt = 0,  // Ctrl+C; SIGINT
    kControlBreak = 1,      // Ctrl+Break; SIGQUIT
    kControlClose = 2,      // the console closed; SIGHUP
    kControlShutdown = 6,   // the system shuts down; SIGTERM
};

using ConsoleCtrlRoutine = int (*)(uint32_t controlType);

// add nonzero: SIGINT, SIGQUIT, SIGTERM and SIGHUP call `routine` (from a
// signal handler: it may only touch lock-free atomics) and no longer end the
// process. A routine that returns 0 hands the event back: the process ends at
// once with status 128 + the signal's number, after standard output has been
// flushed. add 0 with a null routine: their ordinary handling is restored.
int SetConsoleCtrlHandler(ConsoleCtrlRoutine routine, int add);
