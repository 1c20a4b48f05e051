// A flood of junk datagrams on the trap port, then real traps: every real trap
// is printed, and the junk leaves no mark on the program's peak memory.
#include <signal.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "test_processes.h"

namespace {

using testsupport::BackgroundProcess;
using testsupport::RunProgram;

constexpr int kJunk = 20000;
constexpr int kTraps = 100;
// Generous: the program needs about 3 MiB, more under the sanitizers; a
// datagram buffer left behind for each piece of junk would pass it many times.
constexpr long kPeakLimitKiB = 64 * 1024;

size_t Count(const std::string& text, const std::string& piece)
{
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos;
         at = text.find(piece, at + piece.size())) {
        ++count;
    }
    return count;
}

// The process's peak resident size (VmHWM) in KiB, or -1 when it cannot be read.
long PeakResidentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

TEST(TrapFlood, JunkNeitherStarvesRealTrapsNorGrowsMemory)
{
    const std::string address = "127.0.0.1:" + std::to_string(testsupport::PickFreeUdpPort());
    BackgroundProcess listener({MIBCLI_PATH, "trap"}, {"MIBCLI_TRAP_ADDRESS=" + address});
    ASSERT_TRUE(listener.WaitForText(2, "Listening for traps", 10000));

    const auto sender = RunProgram({TEST_AGENT_PATH, "trap", "--to", address, "--junk",
                                    std::to_string(kJunk), "--count", std::to_string(kTraps)});
    ASSERT_EQ(sender.exitCode, 0) << sender.err;
    const bool all =
        listener.WaitForText(1, "Trap Received: " + std::to_string(kTraps) + "\n", 30000);
    const long peak = PeakResidentKiB(listener.Pid());
    listener.Signal(SIGINT);
    const auto result = listener.Wait(10000);

    EXPECT_TRUE(all);
    EXPECT_EQ(Count(result.out, "Trap Received: "), static_cast<size_t>(kTraps));
    EXPECT_EQ(result.exitCode, 0);
    ASSERT_GT(peak, 0);
    EXPECT_LT(peak, kPeakLimitKiB);
}

}  // namespace
