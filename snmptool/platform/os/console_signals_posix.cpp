// Console control events on this platform: the signals that a terminal or the
// system sends to end a process. While a routine is installed they call it and
// no longer end the process, unless the routine hands the event back.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <system_error>
#include <thread>

#include "os/console_signals.h"
#include "os/system_error.h"
#include "values/last_error.h"

namespace {

struct SignalEvent {
    int signalNumber;
    uint32_t controlType;
};

// Ctrl+\ is this platform's Break; the terminal's hang-up is the console's close.
constexpr SignalEvent kSignalEvents[] = {
    {SIGINT, kControlInterrupt},
    {SIGQUIT, kControlBreak},
    {SIGHUP, kControlClose},
    {SIGTERM, kControlShutdown},
};

std::atomic<ConsoleCtrlRoutine> g_routine{nullptr};
static_assert(std::atomic<ConsoleCtrlRoutine>::is_always_lock_free,
              "the signal handler reads the routine without a lock");

// The conventional status of a process that a signal ended.
constexpr int kSignalStatusBase = 128;
// How long the ending waits for the tool's thread to let go of standard output
// (it may be in the middle of a line) before it ends without flushing.
constexpr auto kFlushWait = std::chrono::milliseconds(200);
constexpr auto kFlushRetry = std::chrono::milliseconds(5);

// A signal whose routine handed it back is written here; the ender thread
// reads it, flushes standard output and ends the process. Flushing is not
// safe inside a signal handler, and the tool's thread may be deep in a
// request or a sleep, so neither of them can do it.
std::atomic<int> g_endPipeWrite{-1};
// The process the ender runs in: a child made by fork has no ender thread.
std::atomic<pid_t> g_enderProcess{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<pid_t>::is_always_lock_free,
              "the signal handler reads the ender's pipe and process without a lock");

[[noreturn]] void EndProcess(int signalNumber)
{
    const auto deadline = std::chrono::steady_clock::now() + kFlushWait;
    while (ftrylockfile(stdout) != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kFlushRetry);
    }
    fflush(stdout);
    _exit(kSignalStatusBase + signalNumber);
}

void EnderThread(int readFd)
{
    unsigned char signalNumber = 0;
    for (;;) {
        const ssize_t got = read(readFd, &signalNumber, 1);
        if (got == 1) {
            EndProcess(signalNumber);
        }
        if (got == 0 || (got < 0 && errno != EINTR)) {
            return;
        }
    }
}

// Starts the ender once per process, with the control signals blocked in it so
// that they keep reaching the tool's thread. Without it a handed-back signal
// ends the process unflushed, which is still better than not at all.
void StartEnder()
{
    if (g_enderProcess.load() == getpid()) {
        return;
    }
    g_endPipeWrite.store(-1);
    g_enderProcess.store(getpid());
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    sigset_t controls;
    sigset_t previous;
    sigemptyset(&controls);
    for (const SignalEvent& entry : kSignalEvents) {
        sigaddset(&controls, entry.signalNumber);
    }
    pthread_sigmask(SIG_BLOCK, &controls, &previous);
    try {
        std::thread(EnderThread, fds[0]).detach();
        g_endPipeWrite.store(fds[1]);
    } catch (const std::system_error&) {
        close(fds[0]);
        close(fds[1]);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void HandBack(int signalNumber)
{
    const int fd = g_endPipeWrite.load();
    const auto byte = static_cast<unsigned char>(signalNumber);
    if (fd < 0 || g_enderProcess.load() != getpid() || write(fd, &byte, 1) != 1) {
        _exit(kSignalStatusBase + signalNumber);
    }
}

void OnControlSignal(int signalNumber)
{
    const int savedErrno = errno;
    const ConsoleCtrlRoutine routine = g_routine.load();
    if (routine != nullptr) {
        for (const SignalEvent& entry : kSignalEvents) {
            if (entry.signalNumber == signalNumber && routine(entry.controlType) == 0) {
                HandBack(signalNumber);
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
        StartEnder();
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
