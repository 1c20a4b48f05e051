// The two system calls that the layer's Windows files cannot name themselves
// (os/windows_headers.h renames them, as the layer has its own under those
// names): here the system's headers are included as they are.
#include <windows.h>

#include <cstdint>

uint32_t SystemErrorCode()
{
    return ::GetLastError();
}

uint32_t SystemPlatformFamily()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!::GetVersionExA(&version)) {
        return 0;
    }
    return version.dwPlatformId;
}
