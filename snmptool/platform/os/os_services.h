// The few operating-system services the tool uses beside SNMP: console
// control events, the keyboard of the controlling terminal, sleeping, the
// platform version, and the event that trap reception signals.
#pragma once

#include <cstdint>

// ---- Console control events ------------------------------------------------

// Control types handed to the handler.
enum : uint32_t {
    CTRL_C_EVENT = 0,         // SIGINT
    CTRL_BREAK_EVENT = 1,     // SIGQUIT
    CTRL_CLOSE_EVENT = 2,     // SIGHUP
    CTRL_SHUTDOWN_EVENT = 6,  // SIGTERM
};

using ConsoleCtrlRoutine = int (*)(uint32_t controlType);

// add nonzero: SIGINT, SIGQUIT, SIGTERM and SIGHUP call `routine` (from a
// signal handler: it may only touch lock-free atomics) and no longer end the
// process. A routine that returns 0 hands the event back: the process ends at
// once with status 128 + the signal's number, after standard output has been
// flushed. add 0 with a null routine: their ordinary handling is restored.
int SetConsoleCtrlHandler(ConsoleCtrlRoutine routine, int add);

// ---- Keyboard of the controlling terminal ----------------------------------

// Nonzero when a key press waits on the controlling terminal. Never blocks.
// No terminal, or a process outside the terminal's foreground group: 0.
int ConsoleKeyWaiting();

// Reads one key press, raw mode only for the read. A key with a character
// gives that character (0 to 255). A key the terminal sends as an escape
// sequence gives the lead value 0xE0 and stores its key code (0 to 255) in
// *extendedCode; otherwise *extendedCode is set to -1. Failure gives -1.
int ConsoleReadKey(int* extendedCode);

// ---- Standard output ---------------------------------------------------------

// Nonzero when standard output is the user's terminal (on Windows, a console).
int StdoutIsConsole();
// Standard output carries UTF-8 lines ended by a bare LF from now on (on
// Windows: binary mode, and a console shows UTF-8; elsewhere it already does).
void UseUtf8LineOutput();

// ---- Time and version -------------------------------------------------------

void Sleep(uint32_t milliseconds);

constexpr uint32_t VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOA {
    uint32_t dwOSVersionInfoSize;
    uint32_t dwMajorVersion;
    uint32_t dwMinorVersion;
    uint32_t dwBuildNumber;
    uint32_t dwPlatformId;
    char szCSDVersion[128];
};

// Fills the record (its size field must be set); this platform reports the NT family.
int GetVersionExA(OSVERSIONINFOA* info);

// ---- Events -----------------------------------------------------------------

struct PlatformEvent;

constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_TIMEOUT = 258;
constexpr uint32_t WAIT_FAILED = 0xFFFFFFFF;

// A manual-reset event: set stays set until reset.
PlatformEvent* CreatePlatformEvent();
void DestroyPlatformEvent(PlatformEvent* event);
int SetEvent(PlatformEvent* event);
int ResetEvent(PlatformEvent* event);
// Sleeps in the kernel until the event is set or the time is up.
uint32_t WaitForSingleObject(PlatformEvent* event, uint32_t milliseconds);
