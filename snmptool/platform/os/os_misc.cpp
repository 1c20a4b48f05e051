// Sleeping, the platform version and the kind of standard output.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "values/last_error.h"
#include "os/os_services.h"

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

int GetVersionExA(OSVERSIONINFOA* info)
{
    if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    std::memset(info, 0, sizeof(*info));
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    // Trap reception needs the NT family; this platform has every service it uses.
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return 1;
}

int StdoutIsConsole()
{
    return isatty(STDOUT_FILENO) == 1 ? 1 : 0;
}

void UseUtf8LineOutput()
{
    // Bytes go out as written here.
}
