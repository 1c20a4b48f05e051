// The escape check: the pending key that Ctrl+C and its kin leave. The test
// runs in a child of its own, so that signal dispositions belong to that child
// alone; the child reports the first check that failed as its exit status.
// (The keys of a real terminal are tested in test_terminal_keys.)
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "os/os_services.h"
#include "tool.h"

namespace {

// In the child: the number of the failed check becomes the exit status.
#define CHILD_CHECK(step, condition)                                                               \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            _exit(step);                                                                           \
        }                                                                                          \
    } while (0)

struct ChildEnd {
    bool exited;
    int status;  // exit status, or the signal that ended the child
};

ChildEnd WaitChild(pid_t child)
{
    // Bounded: the child's own waits are bounded, so this is too; the kill is
    // the last resort should one of them hang.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        pollfd none = {-1, 0, 0};
        poll(&none, 0, 10);
    }
    if (WIFEXITED(status)) {
        return {true, WEXITSTATUS(status)};
    }
    return {false, WTERMSIG(status)};
}

TEST(EscapeCheck, ControlEventsBecomeOnePendingEscape)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // No controlling terminal: only the pending key can answer.
        setsid();
        CHILD_CHECK(1, !EscapePressed());
        CHILD_CHECK(2, ConsoleCtrlHandler(CTRL_C_EVENT) != 0);
        CHILD_CHECK(3, EscapePressed());
        CHILD_CHECK(4, !EscapePressed());
        // The slot holds one key: a second event finds the Escape still
        // waiting and is handed back, which ends the process.
        ConsoleCtrlHandler(CTRL_BREAK_EVENT);
        CHILD_CHECK(7, ConsoleCtrlHandler(CTRL_CLOSE_EVENT) == 0);
        CHILD_CHECK(5, EscapePressed());
        CHILD_CHECK(6, !EscapePressed());

        // With the handler installed each signal is an Escape and nothing else.
        SetConsoleCtrlHandler(ConsoleCtrlHandler, 1);
        int step = 10;
        for (int signo : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
            raise(signo);
            CHILD_CHECK(step, EscapePressed());
            CHILD_CHECK(step + 1, !EscapePressed());
            step += 2;
        }
        // Restored, Ctrl+C ends the process again.
        SetConsoleCtrlHandler(nullptr, 0);
        raise(SIGINT);
        _exit(30);
    }
    const ChildEnd end = WaitChild(child);
    EXPECT_FALSE(end.exited) << "failed check " << end.status;
    EXPECT_EQ(end.status, SIGINT);
}

}  // namespace
