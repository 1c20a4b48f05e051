#include "message_queue.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <chrono>
#include <csignal>
#include <deque>

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "last_error_code.h"
#include "process.h"

namespace pkgrunner {

namespace {

constexpr DWORD QS_POSTMESSAGE = 0x0008;
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

int signalDescriptor = -1;
std::deque<MSG> queue;

// Moves every signal that has arrived into the queue. SIGCHLD carries nothing by itself: it only
// wakes the wait, which then asks each child whether it has ended.
void CollectSignals()
{
    while (true) {
        signalfd_siginfo info;
        const ssize_t got = read(signalDescriptor, &info, sizeof(info));
        if (got != static_cast<ssize_t>(sizeof(info))) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
        if (info.ssi_signo != static_cast<std::uint32_t>(SIGCHLD)) {
            PostQuitMessage(128 + static_cast<int>(info.ssi_signo));
        }
    }
}

bool InFilter(const MSG& message, HWND window, UINT filterMin, UINT filterMax)
{
    if (window != nullptr && message.hwnd != window) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0) {
        return true;
    }
    return message.message >= filterMin && message.message <= filterMax;
}

}  // namespace

int InitMessageQueue()
{
    // A child's end must be reported to us, not discarded by an inherited "ignore".
    signal(SIGCHLD, SIG_DFL);
    sigset_t watched;
    sigemptyset(&watched);
    sigaddset(&watched, SIGCHLD);
    for (int stop : kStopSignals) {
        struct sigaction current;
        if (sigaction(stop, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
            continue;
        }
        sigaddset(&watched, stop);
    }
    if (sigprocmask(SIG_BLOCK, &watched, nullptr) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return 0;
    }
    const int descriptor = signalfd(signalDescriptor, &watched, SFD_NONBLOCK | SFD_CLOEXEC);
    if (descriptor < 0) {
        SetLastError(ErrorFromErrno(errno));
        return 0;
    }
    signalDescriptor = descriptor;
    return 1;
}

void PostQuitMessage(int exitCode)
{
    MSG message = {};
    message.message = WM_QUIT;
    message.wParam = static_cast<WPARAM>(exitCode);
    queue.push_back(message);
}

BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    if (signalDescriptor >= 0) {
        CollectSignals();
    }
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (!InFilter(*it, window, filterMin, filterMax)) {
            continue;
        }
        *message = *it;
        if ((removeFlags & PM_REMOVE) != 0) {
            queue.erase(it);
        }
        return TRUE;
    }
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* /*message*/)
{
    return 0;
}

DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds,
                                  DWORD wakeMask, DWORD flags)
{
    if (signalDescriptor < 0 || flags != 0 || (wakeMask & QS_POSTMESSAGE) == 0 ||
        (count > 0 && handles == nullptr)) {
        SetLastError(signalDescriptor < 0 ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (handles[i] == nullptr || handles[i] == INVALID_HANDLE_VALUE) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (true) {
        CollectSignals();
        for (DWORD i = 0; i < count; ++i) {
            if (ProcessHasEnded(handles[i])) {
                return WAIT_OBJECT_0 + i;
            }
        }
        if (!queue.empty()) {
            return WAIT_OBJECT_0 + count;
        }
        int timeout = -1;
        if (milliseconds != INFINITE) {
            // Rounded up, so the wait never ends before its time-out has passed.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                return WAIT_TIMEOUT;
            }
            timeout = static_cast<int>(std::min<long long>(left.count(), INT_MAX));
        }
        // Sleeps until a signal is pending: a child's end or a stop request.
        pollfd watch = {signalDescriptor, POLLIN, 0};
        if (poll(&watch, 1, timeout) < 0 && errno != EINTR) {
            SetLastError(ErrorFromErrno(errno));
            return WAIT_FAILED;
        }
    }
}

}  // namespace pkgrunner
