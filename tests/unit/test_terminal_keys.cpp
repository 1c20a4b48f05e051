// Keys from the controlling terminal: each case runs in a child whose
// controlling terminal is a new pseudo-terminal, with the keys already typed,
// and reports on a pipe what it saw.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "os/os_services.h"

namespace {

using Clock = std::chrono::steady_clock;

int g_slave = -1;  // in the child: the terminal, for the checks of its mode

// In the child: waits until `count` typed bytes have reached the terminal's
// input queue (the pseudo-terminal hands them over asynchronously).
void WaitForTyped(size_t count)
{
    termios saved;
    tcgetattr(g_slave, &saved);
    termios bytes = saved;
    bytes.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    bytes.c_cc[VMIN] = 0;
    bytes.c_cc[VTIME] = 0;
    tcsetattr(g_slave, TCSANOW, &bytes);
    const Clock::time_point end = Clock::now() + std::chrono::seconds(2);
    int waiting = 0;
    while (Clock::now() < end && ioctl(g_slave, FIONREAD, &waiting) == 0 &&
           static_cast<size_t>(waiting) < count) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    tcsetattr(g_slave, TCSANOW, &saved);
}

// "same" when the terminal's mode is what `before` holds.
std::string ModeCheck(const termios& before)
{
    termios after;
    tcgetattr(g_slave, &after);
    const bool same = after.c_lflag == before.c_lflag && after.c_iflag == before.c_iflag &&
                      after.c_cc[VMIN] == before.c_cc[VMIN] &&
                      after.c_cc[VTIME] == before.c_cc[VTIME];
    return same ? "" : " MODE-CHANGED";
}

// Reads every waiting key: "code/extended" per key, and the mode check.
std::string ReadAllKeys()
{
    std::string seen;
    for (int i = 0; i < 32; ++i) {
        termios before;
        tcgetattr(g_slave, &before);
        const int waiting = ConsoleKeyWaiting();
        seen += ModeCheck(before);
        if (waiting == 0) {
            break;
        }
        int extended = -2;
        const int key = ConsoleReadKey(&extended);
        seen += ModeCheck(before);
        seen += (seen.empty() ? "" : " ") + std::to_string(key) + "/" + std::to_string(extended);
    }
    return seen;
}

// Runs `scenario` in a child that has a new pseudo-terminal as its controlling
// terminal, with `typed` written to it first. Returns what the scenario
// returned, or a word telling how the child failed.
std::string InTerminal(const std::string& typed, std::string (*scenario)())
{
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        return "no-pty";
    }
    int report[2];
    if (pipe(report) != 0) {
        return "no-pipe";
    }
    const pid_t child = fork();
    if (child == 0) {
        close(master);
        close(report[0]);
        setsid();
        ioctl(slave, TIOCSCTTY, 0);
        g_slave = slave;
        WaitForTyped(typed.size());
        const std::string result = scenario();
        const ssize_t written = write(report[1], result.data(), result.size());
        _exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
    }
    close(slave);
    close(report[1]);
    if (!typed.empty() && write(master, typed.data(), typed.size()) < 0) {
        return "no-write";
    }
    std::string result;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(10);
    bool ended = false;
    while (!ended && Clock::now() < end) {
        pollfd watch[2] = {{report[0], POLLIN, 0}, {master, POLLIN, 0}};
        if (poll(watch, 2, 100) <= 0) {
            continue;
        }
        char buffer[512];
        if (watch[1].revents & POLLIN) {
            // The echo of the typed keys; nobody reads it otherwise.
            if (read(master, buffer, sizeof(buffer)) < 0) {
                watch[1].fd = -1;
            }
        }
        if (watch[0].revents != 0) {
            const ssize_t got = read(report[0], buffer, sizeof(buffer));
            if (got <= 0) {
                ended = true;
            } else {
                result.append(buffer, static_cast<size_t>(got));
            }
        }
    }
    if (!ended) {
        kill(child, SIGKILL);
        result = "timeout";
    }
    waitpid(child, nullptr, 0);
    close(report[0]);
    close(master);
    return result;
}

TEST(TerminalKeys, KeysAndSequencesAreReadOneAtATime)
{
    // A letter; up; F1 (SS3); delete; right with Ctrl; F12; an unknown sequence;
    // an Escape followed by a letter that opens no sequence: the Escape, then the letter.
    const std::string typed = std::string("x") + "\x1b[A" + "\x1bOP" + "\x1b[3~" + "\x1b[1;5C" +
                              "\x1b[24~" + "\x1b[99~" + "\x1b" + "q";
    EXPECT_EQ(InTerminal(typed, ReadAllKeys),
              "120/-1 224/72 224/59 224/83 224/77 224/134 224/255 27/-1 113/-1");
}

TEST(TerminalKeys, ALoneEscapeIsEscape)
{
    EXPECT_EQ(InTerminal("\x1b", ReadAllKeys), "27/-1");
}

std::string TimedLookAtNothing()
{
    const Clock::time_point start = Clock::now();
    const int waiting = ConsoleKeyWaiting();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return std::to_string(waiting) + (took.count() < 100 ? " quick" : " slow");
}

TEST(TerminalKeys, NothingTypedIsNoKeyWithoutBlocking)
{
    EXPECT_EQ(InTerminal("", TimedLookAtNothing), "0 quick");
}

// Looks from a process group of its own, outside the terminal's foreground.
std::string LookFromTheBackground()
{
    const pid_t looker = fork();
    if (looker == 0) {
        setpgid(0, 0);
        int extended = 0;
        const int waiting = ConsoleKeyWaiting();
        const int key = ConsoleReadKey(&extended);
        _exit(waiting == 0 && key == -1 ? 0 : 1);
    }
    int status = 0;
    const Clock::time_point end = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < end) {
        const pid_t done = waitpid(looker, &status, WNOHANG | WUNTRACED);
        if (done == looker) {
            if (WIFSTOPPED(status)) {
                kill(looker, SIGKILL);
                waitpid(looker, nullptr, 0);
                return "stopped by the terminal";
            }
            return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "no key" : "saw a key";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(looker, SIGKILL);
    waitpid(looker, nullptr, 0);
    return "timeout";
}

TEST(TerminalKeys, ABackgroundProcessGroupSeesNoKey)
{
    EXPECT_EQ(InTerminal("x", LookFromTheBackground), "no key");
}

}  // namespace
