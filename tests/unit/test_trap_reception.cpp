// Trap reception through the built program: a burst of traps printed whole and
// in order, the polls and sleeps of poll mode, and listening ended by SIGINT.
#include <signal.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_processes.h"

namespace {

using Clock = std::chrono::steady_clock;
using testsupport::BackgroundProcess;
using testsupport::RunProgram;

struct TrapTool {
    std::string address;
    std::vector<std::string> env;
    TrapTool()
        : address("127.0.0.1:" + std::to_string(testsupport::PickFreeUdpPort())),
          env{"MIBCLI_TRAP_ADDRESS=" + address}
    {
    }
};

size_t Count(const std::string& text, const std::string& piece)
{
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos;
         at = text.find(piece, at + piece.size())) {
        ++count;
    }
    return count;
}

TEST(TrapReception, ABurstIsPrintedWholeAndInOrder)
{
    constexpr uint32_t kTraps = 10000;
    TrapTool tool;
    BackgroundProcess listener({MIBCLI_PATH, "trap"}, tool.env);
    ASSERT_TRUE(listener.WaitForText(2, "Listening for traps", 10000));

    const auto sender =
        RunProgram({TEST_AGENT_PATH, "trap", "--to", tool.address, "--count",
                    std::to_string(kTraps), "--varbind", "1.3.6.1.2.1.1.5.0", "string", "burst"});
    ASSERT_EQ(sender.exitCode, 0) << sender.err;
    const bool all =
        listener.WaitForText(1, "Trap Received: " + std::to_string(kTraps) + "\n", 30000);
    listener.Signal(SIGINT);
    const auto result = listener.Wait(10000);
    ASSERT_TRUE(all) << "traps printed: " << Count(result.out, "Trap Received: ");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Count(result.err, "\nReceived Trap!"), kTraps);
    EXPECT_EQ(result.err.find("dropped"), std::string::npos) << result.err;

    // Trap K carries the time stamp K-1: numbering and arrival order agree.
    std::istringstream lines(result.out);
    std::string line;
    uint32_t number = 0;
    uint32_t stamps = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("Trap Received: ", 0) == 0) {
            ++number;
            ASSERT_EQ(line, "Trap Received: " + std::to_string(number));
        } else if (line.rfind("   time-stamp: ", 0) == 0) {
            ASSERT_EQ(line, "   time-stamp: " + std::to_string(stamps));
            ++stamps;
        }
    }
    EXPECT_EQ(number, kTraps);
    EXPECT_EQ(stamps, kTraps);
}

TEST(TrapReception, PollModeSleepsBetweenPollsOnly)
{
    TrapTool tool;
    const auto started = Clock::now();
    const auto result = RunProgram({MIBCLI_PATH, "-p", "-n", "3", "-i", "400", "trap"}, tool.env);
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "\nmibcli - Simple Network Management Protocol Tool for Win32\n\n"
                          "mibcli: Polling for traps (poll 1). Hit Escape to exit...\n"
                          "mibcli: Polling for traps (poll 2). Hit Escape to exit...\n"
                          "mibcli: Polling for traps (poll 3). Hit Escape to exit...\n");
    // Two sleeps of 400 ms, none after the last poll.
    EXPECT_GE(elapsed.count(), 800);
    EXPECT_LT(elapsed.count(), 1200 + 2000);
}

TEST(TrapReception, SigintEndsListeningWithinAboutASecond)
{
    TrapTool tool;
    BackgroundProcess listener({MIBCLI_PATH, "trap"}, tool.env);
    ASSERT_TRUE(listener.WaitForText(2, "Listening for traps", 10000));
    const auto signalled = Clock::now();
    listener.Signal(SIGINT);
    const auto result = listener.Wait(5000);
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - signalled);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.signal, 0);
    EXPECT_LT(elapsed.count(), 2000);
    EXPECT_EQ(result.err, "\nmibcli - Simple Network Management Protocol Tool for Win32\n\n"
                          "\nmibcli: Listening for traps. Hit Escape to exit...");
}

}  // namespace
