// Console control events on Windows: the system's own handler list, with one
// handler of ours that calls the tool's routine.
#include <windows.h>

#include <atomic>

#include "os/console_signals.h"
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
        // A failed call has set the system's code, which is the layer's.
        return ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE) ? 1 : 0;
    }
    // Removing a routine that is not the installed one changes nothing.
    if (routine != nullptr && routine != g_routine.load()) {
        return 1;
    }
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_routine.store(nullptr);
    // No routine and FALSE: Ctrl+C is processed by the console as usual again.
    return ::SetConsoleCtrlHandler(static_cast<PHANDLER_ROUTINE>(nullptr), FALSE) ? 1 : 0;
}
