// Starting children: a child gets the launcher's descriptors only when it inherits handles.
// (Failed starts, the order of the children and the stop request are tested through the
// launcher in test_pkgrunner_run.)
#include <gtest/gtest.h>

#include <string>

#include "platform/last_error_code.h"
#include "platform/message_queue.h"
#include "platform/process.h"
#include "test_pkgrunner_scratch.h"

namespace {

using namespace pkgrunner;

class ProcessTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(InitMessageQueue(), 1);
    }

    // Starts a command line; on success the handles are in child.
    bool Start(std::string commandLine, BOOL inheritHandles = FALSE)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        child = {};
        return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, inheritHandles, 0,
                              nullptr, nullptr, &startup, &child) != FALSE;
    }

    void Release()
    {
        EXPECT_TRUE(CloseHandle(child.hThread));
        EXPECT_TRUE(CloseHandle(child.hProcess));
    }

    PROCESS_INFORMATION child = {};
};

TEST_F(ProcessTest, DescriptorsGoAlongOnlyWithInheritance)
{
    pkgtest::ScratchDir dir;
    const int open = dup(STDIN_FILENO);
    ASSERT_GE(open, 3);
    for (BOOL inherit : {FALSE, TRUE}) {
        const std::string out = dir.At(inherit ? "with" : "without");
        const std::string probe =
            "test -e /proc/$$/fd/" + std::to_string(open) + " && echo open || echo closed";
        ASSERT_TRUE(Start("/bin/sh -c \"{ " + probe + "; } > " + out + "\"", inherit));
        EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &child.hProcess, 10000, QS_ALLINPUT, 0),
                  WAIT_OBJECT_0);
        Release();
    }
    close(open);
    EXPECT_EQ(pkgtest::ReadFile(dir.At("without")), "closed\n");
    EXPECT_EQ(pkgtest::ReadFile(dir.At("with")), "open\n");
}

}  // namespace
