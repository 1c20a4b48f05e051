// The escape check: the pending key that Ctrl+C and its kin leave, and the
// keys of a real terminal (a pseudo-terminal made the controlling terminal of
// a child process). Each test runs in a child of its own, so that signal
// dispositions and the terminal belong to that child alone; the child reports
// the first check that failed as its exit status.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/os_services.h"
#include "tool.h"

namespace {

// In the child: the number of the failed check becomes the exit status.
#define CHILD_CHECK(step, condition) \
    do {                             \
        if (!(condition)) {          \
            _exit(step);             \
        }                            \
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
        // The slot holds one key: a second event finds it full and is lost.
        ConsoleCtrlHandler(CTRL_BREAK_EVENT);
        ConsoleCtrlHandler(CTRL_CLOSE_EVENT);
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

// A child whose controlling terminal is a pseudo-terminal that the test types
// into. The child asks for each key over a pipe, so the keys arrive one at a time.
class TerminalChild {
public:
    TerminalChild()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            return;
        }
        slaveName_ = ptsname(master_);
        int toParent[2];
        if (pipe(toParent) != 0) {
            return;
        }
        requestRead_ = toParent[0];
        requestWrite_ = toParent[1];
        ready_ = true;
    }
    ~TerminalChild()
    {
        for (int fd : {master_, requestRead_, requestWrite_}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }

    bool Ready() const { return ready_; }

    // In the child: takes the terminal as its controlling terminal.
    bool TakeTerminal()
    {
        close(master_);
        close(requestRead_);
        setsid();
        const int slave = open(slaveName_.c_str(), O_RDWR);
        return slave >= 0 && ioctl(slave, TIOCSCTTY, 0) == 0;
    }

    // In the child: asks for the next key and waits until it is there.
    bool RequestKey()
    {
        const char ask = 'k';
        if (write(requestWrite_, &ask, 1) != 1) {
            return false;
        }
        for (int tries = 0; tries < 5000; ++tries) {
            if (ConsoleKeyWaiting() != 0) {
                return true;
            }
            usleep(1000);
        }
        return false;
    }

    // In the parent: answers each request with the next key's bytes.
    bool TypeKeys(std::initializer_list<std::string> keys)
    {
        close(requestWrite_);
        requestWrite_ = -1;
        for (const std::string& key : keys) {
            pollfd request = {requestRead_, POLLIN, 0};
            char ask = 0;
            if (poll(&request, 1, 10000) != 1 || read(requestRead_, &ask, 1) != 1) {
                return false;
            }
            if (write(master_, key.data(), key.size()) != static_cast<ssize_t>(key.size())) {
                return false;
            }
        }
        return true;
    }

private:
    int master_ = -1;
    int requestRead_ = -1;
    int requestWrite_ = -1;
    std::string slaveName_;
    bool ready_ = false;
};

TEST(EscapeCheck, TerminalKeys)
{
    TerminalChild terminal;
    ASSERT_TRUE(terminal.Ready());
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CHILD_CHECK(1, terminal.TakeTerminal());
        CHILD_CHECK(2, !EscapePressed());

        // An ordinary key is read and is not Escape.
        CHILD_CHECK(3, terminal.RequestKey());
        CHILD_CHECK(4, !EscapePressed());
        CHILD_CHECK(5, ConsoleKeyWaiting() == 0);

        // A lone Escape byte is Escape.
        CHILD_CHECK(6, terminal.RequestKey());
        CHILD_CHECK(7, EscapePressed());
        CHILD_CHECK(8, !EscapePressed());

        // An arrow key reads as its lead value and leaves its code pending;
        // the pending code fills the slot, so a control event now is lost and
        // the next check reads the code, not an Escape.
        CHILD_CHECK(9, terminal.RequestKey());
        CHILD_CHECK(10, !EscapePressed());
        ConsoleCtrlHandler(CTRL_C_EVENT);
        CHILD_CHECK(11, !EscapePressed());
        CHILD_CHECK(12, !EscapePressed());
        ConsoleCtrlHandler(CTRL_C_EVENT);
        CHILD_CHECK(13, EscapePressed());

        // A function key is no Escape either, in two checks.
        CHILD_CHECK(14, terminal.RequestKey());
        CHILD_CHECK(15, !EscapePressed());
        CHILD_CHECK(16, !EscapePressed());
        CHILD_CHECK(17, ConsoleKeyWaiting() == 0);

        // The pending key is taken before a key waiting on the terminal.
        CHILD_CHECK(18, terminal.RequestKey());
        ConsoleCtrlHandler(CTRL_C_EVENT);
        CHILD_CHECK(19, EscapePressed());
        CHILD_CHECK(20, ConsoleKeyWaiting() != 0);
        CHILD_CHECK(21, !EscapePressed());
        CHILD_CHECK(22, ConsoleKeyWaiting() == 0);
        _exit(0);
    }
    const bool typed = terminal.TypeKeys({"a", "\x1b", "\x1b[A", "\x1bOP", "b"});
    const ChildEnd end = WaitChild(child);
    EXPECT_TRUE(typed);
    EXPECT_TRUE(end.exited) << "ended by signal " << end.status;
    EXPECT_EQ(end.status, 0) << "failed check " << end.status;
}

}  // namespace
