// Sleeping and the platform version.
#include <sys/utsname.h>

#include <cerrno>
#include <cstdio>
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

namespace {

// Reads the leading decimal number of `text` from `*cursor` and steps past it
// and past one following '.'; 0 when no digit stands there.
uint32_t NextVersionNumber(const char** cursor)
{
    uint32_t value = 0;
    const char* p = *cursor;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + static_cast<uint32_t>(*p - '0');
        ++p;
    }
    if (*p == '.') {
        ++p;
    }
    *cursor = p;
    return value;
}

}  // namespace

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
    utsname names;
    if (uname(&names) == 0) {
        const char* cursor = names.release;
        info->dwMajorVersion = NextVersionNumber(&cursor);
        info->dwMinorVersion = NextVersionNumber(&cursor);
        info->dwBuildNumber = NextVersionNumber(&cursor);
        std::snprintf(info->szCSDVersion, sizeof(info->szCSDVersion), "%.60s %.60s", names.sysname,
                      names.release);
    }
    return 1;
}
