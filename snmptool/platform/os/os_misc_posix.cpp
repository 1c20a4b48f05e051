// Sleeping, the kind of standard output and the platform family.
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "os/os_misc.h"

void Sleep(uint32_t milliseconds)
{
    timespec remaining;
    remaining.tv_sec = static_cast<time_t>(milliseconds / 1000);
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    // A signal (Ctrl+C turned into a pending Escape) must not cut the poll
    // interval short: the loops test for Escape after their sleep.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

int StdoutIsConsole()
{
    return isatty(STDOUT_FILENO) == 1 ? 1 : 0;
}

int StderrIsConsole()
{
    return isatty(STDERR_FILENO) == 1 ? 1 : 0;
}

void UseUtf8LineOutput()
{
    // Bytes go out as written here.
}

uint32_t SystemPlatformFamily()
{
    // This platform has every service of the NT family that the tool uses.
    return kPlatformFamilyNt;
}
