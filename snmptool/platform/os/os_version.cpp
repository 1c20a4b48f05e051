// The version query, over the system's platform family.
#include "os/os_services.h"
#include "values/last_error.h"

int GetVersionExA(OSVERSIONINFOA* info)
{
    if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    const uint32_t family = SystemPlatformFamily();
    if (family == 0) {
        return 0;
    }
    *info = {};
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    info->dwPlatformId = family;
    return 1;
}
