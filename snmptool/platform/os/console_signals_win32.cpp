// Console control events, sleeping and the version query on Windows: the
// system's own calls behind the layer's routines.
#include <atomic>

#include "os/os_services.h"
#include "os/windows_headers.h"
#include "values/last_error.h"

namespace {

std::atomic<ConsoleCtrlRoutine> g_routine{nullptr};

// Runs on the thread that the system starts for each console event.
BOOL WINAPI OnConsoleEvent(DWORD controlType)
{
    const ConsoleCtrlRoutine routine = g_routine.load();
    if (routine == nullptr) {
        return FALSE;
    }
    return routine(static_cast<uint32_t>(controlType)) != 0 ? TRUE : FALSE;
}

}  // namespace

int SetConsoleCtrlHandler(ConsoleCtrlRoutine routine, int add)
{
    if (add != 0) {
        if (routine == nullptr) {
            SetLastError(ERROR_BAD_ARGUMENT);
            return 0;
        }
        g_routine.store(routine);
        if (!::SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
            SetLastError(SystemErrorCode());
            return 0;
        }
        return 1;
    }
    // Removing a routine that is not the installed one changes nothing.
    if (routine != nullptr && routine != g_routine.load()) {
        return 1;
    }
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_routine.store(nullptr);
    // No routine and FALSE: Ctrl+C is processed by the console as usual again.
    if (!::SetConsoleCtrlHandler(static_cast<PHANDLER_ROUTINE>(nullptr), FALSE)) {
        SetLastError(SystemErrorCode());
        return 0;
    }
    return 1;
}

void Sleep(uint32_t milliseconds)
{
    ::Sleep(static_cast<DWORD>(milliseconds));
}

int GetVersionExA(OSVERSIONINFOA* info)
{
    if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    const uint32_t family = SystemPlatformFamily();
    if (family == 0) {
        SetLastError(SystemErrorCode());
        return 0;
    }
    *info = {};
    info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    info->dwPlatformId = family;
    return 1;
}
