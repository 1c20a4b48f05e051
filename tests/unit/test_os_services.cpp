// Events, sleeping through signals, and a signal ignored at start. (The console
// control signals as Escape are tested in test_escape_check.)
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "values/last_error.h"
#include "os/os_services.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(Events, ManualResetWaitAndTimeOut)
{
    PlatformEvent* event = CreatePlatformEvent();
    ASSERT_NE(event, nullptr);
    Clock::time_point start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 100), WAIT_TIMEOUT);
    EXPECT_GE(Clock::now() - start, milliseconds(95));

    ASSERT_EQ(SetEvent(event), 1);
    // Manual reset: a wait does not consume the signal.
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 1000), WAIT_OBJECT_0);
    ASSERT_EQ(ResetEvent(event), 1);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

    // A waiter wakes when another thread sets the event, long before its time-out.
    std::thread setter([event] {
        std::this_thread::sleep_for(milliseconds(50));
        SetEvent(event);
    });
    start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
    EXPECT_LT(Clock::now() - start, milliseconds(5000));
    setter.join();
    DestroyPlatformEvent(event);

    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_BAD_ARGUMENT);
    EXPECT_EQ(SetEvent(nullptr), 0);
    EXPECT_EQ(ResetEvent(nullptr), 0);
}

std::atomic<int> g_calls{0};
std::atomic<uint32_t> g_lastType{0xFFFFFFFF};
int CountingRoutine(uint32_t controlType)
{
    g_lastType = controlType;
    ++g_calls;
    return 1;
}

TEST(ConsoleSignals, ASignalIgnoredAtStartStaysIgnored)
{
    // As under nohup: a hang-up must neither end the tool nor stop its loops.
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGHUP, SIG_IGN);
        SetConsoleCtrlHandler(CountingRoutine, 1);
        const int before = g_calls;
        raise(SIGHUP);
        raise(SIGINT);
        const bool onlyInterrupt = g_calls == before + 1 && g_lastType == CTRL_C_EVENT;
        SetConsoleCtrlHandler(nullptr, 0);
        raise(SIGHUP);
        _exit(onlyInterrupt ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(OsMisc, SleepSleepsTheWholeTimeThroughSignals)
{
    ASSERT_EQ(SetConsoleCtrlHandler(CountingRoutine, 1), 1);
    const int before = g_calls;
    const pthread_t sleeper = pthread_self();
    std::thread interrupter([sleeper] {
        for (int i = 0; i < 3; ++i) {
            std::this_thread::sleep_for(milliseconds(40));
            pthread_kill(sleeper, SIGINT);
        }
    });
    const Clock::time_point start = Clock::now();
    Sleep(300);
    const Clock::duration slept = Clock::now() - start;
    interrupter.join();
    SetConsoleCtrlHandler(nullptr, 0);
    EXPECT_GE(slept, milliseconds(300));
    EXPECT_EQ(g_calls, before + 3);
}

}  // namespace
