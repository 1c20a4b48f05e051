// Sleeping, the kind of standard output and the platform family on Windows.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "os/os_misc.h"

void Sleep(uint32_t milliseconds)
{
    ::Sleep(static_cast<DWORD>(milliseconds));
}

namespace {

// A console answers for its mode; a file, a pipe or the NUL device does not.
int IsConsole(DWORD stream)
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(stream), &mode) != 0 ? 1 : 0;
}

}  // namespace

int StdoutIsConsole()
{
    return IsConsole(STD_OUTPUT_HANDLE);
}

int StderrIsConsole()
{
    return IsConsole(STD_ERROR_HANDLE);
}

void UseUtf8LineOutput()
{
    // Text mode would turn every LF into CR LF, which JSON Lines readers do
    // not all take; a console given UTF-8 shows names beyond ASCII whole.
    fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
    if (StdoutIsConsole() != 0) {
        SetConsoleOutputCP(CP_UTF8);
    }
}

uint32_t SystemPlatformFamily()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    // A failed query has set the system's code, which is the layer's.
    return ::GetVersionExA(&version) ? version.dwPlatformId : 0;
}
