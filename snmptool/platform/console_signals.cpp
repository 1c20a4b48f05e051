// Console control events on this platform: the signals that a terminal or the
// system sends to end a process. While a routine is installed they call it and
// no longer end the process.
#include <signal.h>

#include <atomic>
#include <cerrno>

#include "last_error.h"
#include "os_services.h"

namespace {

struct SignalEvent {
    int signalNumber;
    uint32_t controlType;
};

// Ctrl+\ is this platform's Break; the terminal's hang-up is the console's close.
constexpr SignalEvent kSignalEvents[] = {
    {SIGINT, CTRL_C_EVENT},
    {SIGQUIT, CTRL_BREAK_EVENT},
    {SIGHUP, CTRL_CLOSE_EVENT},
    {SIGTERM, CTRL_SHUTDOWN_EVENT},
};

std::atomic<ConsoleCtrlRoutine> g_routine{nullptr};
static_assert(std::atomic<ConsoleCtrlRoutine>::is_always_lock_free,
              "the signal handler reads the routine without a lock");

void OnControlSignal(int signalNumber) {
    const int savedErrno = errno;
    const ConsoleCtrlRoutine routine = g_routine.load();
    if (routine != nullptr) {
        for (const SignalEvent& entry : kSignalEvents) {
            if (entry.signalNumber == signalNumber) {
                routine(entry.controlType);
            }
        }
    }
    errno = savedErrno;
}

// Points every control signal at `handler`; 1, or 0 with the system's reason.
int InstallForAll(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Restarted calls: a Ctrl+C during a request or a read must not make it fail.
    action.sa_flags = SA_RESTART;
    for (const SignalEvent& entry : kSignalEvents) {
        if (sigaction(entry.signalNumber, &action, nullptr) != 0) {
            SetLastErrorFromErrno(errno);
            return 0;
        }
    }
    return 1;
}

}  // namespace

int SetConsoleCtrlHandler(ConsoleCtrlRoutine routine, int add) {
    if (add != 0) {
        if (routine == nullptr) {
            SetLastError(ERROR_BAD_ARGUMENT);
            return 0;
        }
        g_routine.store(routine);
        return InstallForAll(OnControlSignal);
    }
    // Removing a routine that is not the installed one changes nothing.
    if (routine != nullptr && routine != g_routine.load()) {
        return 1;
    }
    const int restored = InstallForAll(SIG_DFL);
    g_routine.store(nullptr);
    return restored;
}
