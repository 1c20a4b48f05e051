// Starting children and waiting for them: failed starts leave nothing behind, the wait wakes
// for a child's end or a stop request, and ended children are reaped.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "platform/last_error_code.h"
#include "platform/message_queue.h"
#include "platform/process.h"
#include "test_pkgrunner_scratch.h"

namespace {

using namespace pkgrunner;

class ProcessTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(InitMessageQueue(), 1); }

    // Starts a command line; on success the handles are in child.
    bool Start(std::string commandLine, BOOL inheritHandles = FALSE)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        child = {};
        return CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, inheritHandles, 0, nullptr, nullptr,
                              &startup, &child) != FALSE;
    }

    void Release()
    {
        EXPECT_TRUE(CloseHandle(child.hThread));
        EXPECT_TRUE(CloseHandle(child.hProcess));
    }

    PROCESS_INFORMATION child = {};
};

bool NoChildLeft()
{
    int status = 0;
    return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

struct FailedStart {
    const char* name;
    const char* content; // nullptr: the path is a directory; "": nothing is created
    mode_t mode;
    DWORD error;
};

TEST_F(ProcessTest, FailedStartsReportTheCauseAndLeaveNoChild)
{
    const FailedStart cases[] = {
        {"missing.exe", "", 0, ERROR_FILE_NOT_FOUND},
        {"plain.exe", "#!/bin/sh\nexit 0\n", 0644, ERROR_ACCESS_DENIED},
        {"text.exe", "echo not a program\n", 0755, ERROR_BAD_EXE_FORMAT},
        {"noshell.exe", "#!/nonexistent/interpreter\n", 0755, ERROR_FILE_NOT_FOUND},
        {"folder.exe", nullptr, 0755, ERROR_ACCESS_DENIED},
    };
    pkgtest::ScratchDir dir;
    for (const FailedStart& row : cases) {
        const std::string path = dir.At(row.name);
        if (row.content == nullptr) {
            ASSERT_EQ(mkdir(path.c_str(), row.mode), 0);
        } else if (row.content[0] != '\0') {
            pkgtest::WriteFile(path, row.content, false);
            chmod(path.c_str(), row.mode);
        }
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(Start(path + " arg")) << row.name;
        EXPECT_EQ(GetLastError(), row.error) << row.name;
        EXPECT_TRUE(NoChildLeft()) << row.name;
    }
    EXPECT_FALSE(Start("   "));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ProcessTest, WaitReturnsZeroWhenTheChildEndsAndReapsIt)
{
    pkgtest::ScratchDir dir;
    const std::string out = dir.At("out");
    ASSERT_TRUE(Start("/bin/sh -c \"echo \\\"$0\\\" \\\"$1\\\" > '" + out + "'\" \"first word\" x\\\"y"));
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &child.hProcess, 10000, QS_ALLINPUT, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(NoChildLeft());
    EXPECT_EQ(pkgtest::ReadFile(out), "first word x\"y\n");
    // An ended process stays signalled.
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &child.hProcess, 0, QS_ALLINPUT, 0), WAIT_OBJECT_0);
    Release();
}

TEST_F(ProcessTest, DescriptorsGoAlongOnlyWithInheritance)
{
    pkgtest::ScratchDir dir;
    const int open = dup(STDIN_FILENO);
    ASSERT_GE(open, 3);
    for (BOOL inherit : {FALSE, TRUE}) {
        const std::string out = dir.At(inherit ? "with" : "without");
        const std::string probe = "test -e /proc/$$/fd/" + std::to_string(open) + " && echo open || echo closed";
        ASSERT_TRUE(Start("/bin/sh -c \"{ " + probe + "; } > " + out + "\"", inherit));
        EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &child.hProcess, 10000, QS_ALLINPUT, 0), WAIT_OBJECT_0);
        Release();
    }
    close(open);
    EXPECT_EQ(pkgtest::ReadFile(dir.At("without")), "closed\n");
    EXPECT_EQ(pkgtest::ReadFile(dir.At("with")), "open\n");
}

TEST_F(ProcessTest, StopRequestWakesTheWaitAsWmQuit)
{
    ASSERT_TRUE(Start("sleep 30"));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &child.hProcess, 100, QS_ALLINPUT, 0), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));

    ASSERT_EQ(kill(getpid(), SIGTERM), 0);
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &child.hProcess, 10000, QS_ALLINPUT, 0), WAIT_OBJECT_0 + 1);
    MSG message = {};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, WM_QUIT);
    EXPECT_EQ(message.wParam, 143u);
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));

    // The child was not touched by the launcher's stop request.
    EXPECT_EQ(kill(static_cast<pid_t>(child.dwProcessId), 0), 0);
    ASSERT_EQ(kill(static_cast<pid_t>(child.dwProcessId), SIGKILL), 0);
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &child.hProcess, 10000, QS_ALLINPUT, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(NoChildLeft());
    Release();
}

} // namespace
