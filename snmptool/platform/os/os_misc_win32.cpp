// Sleeping, the kind of standard output and the platform family on Windows.
#include <windows.h>

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

uint32_t SystemPlatformFamily()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    // A failed query has set the system's code, which is the layer's.
    return ::GetVersionExA(&version) ? version.dwPlatformId : 0;
}
