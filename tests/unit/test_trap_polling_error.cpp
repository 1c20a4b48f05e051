// Trap polling ends at a fetch that fails for another reason than an empty
// queue: the report names the label and the code, and the routine gives 0.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "stream_capture.h"
#include "tool.h"
#include "traps/trap_receiver_testing.h"

TEST(TrapPolling, AFailedFetchEndsThePollsWithTheReport)
{
    setenv("MIBCLI_TRAP_ADDRESS", "127.0.0.1:0", 1);
    FailNextTrapFetchForTesting(ERROR_NOT_ENOUGH_MEMORY);
    int result = 1;
    std::string out;
    std::string err;
    {
        StreamCapture capturedOut(stdout);
        StreamCapture capturedErr(stderr);
        result = PollForTraps(0, 3);
        out = capturedOut.Take();
        err = capturedErr.Take();
    }
    SnmpMgrTrapStop();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "mibcli: Trap polling error: 1001\nNot enough memory is available.\n");
    // The first poll's line only: the failure ends the loop at once.
    EXPECT_EQ(err, "mibcli: Polling for traps (poll 1). Hit Escape to exit...\n");
}
