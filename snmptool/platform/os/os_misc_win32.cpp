// Sleeping, the kind of standard output and the platform family on Windows.
#include <windows.h>

#include "os/os_misc.h"

void Sleep(uint32_t milliseconds)
{
    ::Sleep(static_cast<DWORD>(milliseconds));
}

int StdoutIsConsole()
{
    // A console answers for its mode; a file, a pipe or the NUL device does not.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0 ? 1 : 0;
}

uint32_t SystemPlatformFamily()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    // A failed query has set the system's code, which is the layer's.
    return ::GetVersionExA(&version) ? version.dwPlatformId : 0;
}
