// Console control events on this platform: the signals that a terminal or the
// system sends to end a process. While a routine is installed they call it and
// no longer end the process.
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <iterator>

#include "values/last_error.h"
#include "os/os_services.h"

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

void OnControlSignal(int signalNumber)
{
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

// What each signal did before the routine was installed. A signal that was
// ignored then (nohup ignores SIGHUP; a shell ignores SIGINT and SIGQUIT for a
// job it starts in the background) stays ignored: whoever started the tool
// asked for that, and a hang-up must not stop a trap listener under nohup.
// Taken when a routine is installed over none.
struct sigaction g_original[std::size(kSignalEvents)];
bool g_installed = false;

// Points every control signal at the routine; 1, or 0 with the system's reason.
int InstallHandlers()
{
    for (size_t i = 0; i < std::size(kSignalEvents) && !g_installed; ++i) {
        if (sigaction(kSignalEvents[i].signalNumber, nullptr, &g_original[i]) != 0) {
            SetLastErrorFromErrno(errno);
            return 0;
        }
    }
    g_installed = true;
    struct sigaction action = {};
    action.sa_handler = OnControlSignal;
    sigemptyset(&action.sa_mask);
    // Restarted calls: a Ctrl+C during a request or a read must not make it fail.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignalEvents); ++i) {
        if (g_original[i].sa_handler == SIG_IGN) {
            continue;
        }
        if (sigaction(kSignalEvents[i].signalNumber, &action, nullptr) != 0) {
            SetLastErrorFromErrno(errno);
            return 0;
        }
    }
    return 1;
}

// Gives every control signal back the handling it had before the routine: the
// default one, unless it was ignored.
int RestoreHandlers()
{
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kSignalEvents); ++i) {
        const bool ignored = g_installed && g_original[i].sa_handler == SIG_IGN;
        action.sa_handler = ignored ? SIG_IGN : SIG_DFL;
        if (sigaction(kSignalEvents[i].signalNumber, &action, nullptr) != 0) {
            SetLastErrorFromErrno(errno);
            return 0;
        }
    }
    g_installed = false;
    return 1;
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
        return InstallHandlers();
    }
    // Removing a routine that is not the installed one changes nothing.
    if (routine != nullptr && routine != g_routine.load()) {
        return 1;
    }
    const int restored = RestoreHandlers();
    g_routine.store(nullptr);
    return restored;
}
