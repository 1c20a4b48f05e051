#include "run_packages.h"

#include <string>

#include "child_command.h"
#include "platform/error_box.h"
#include "platform/file_search.h"
#include "platform/message_queue.h"
#include "platform/process.h"

namespace pkgrunner {

namespace {

enum ChildOutcome { kChildEnded, kChildNotStarted, kQuitReceived };

// Dispatches messages until the child ends. A WM_QUIT ends the pump at once, its wParam in
// *quitCode, without waiting for the child.
ChildOutcome PumpUntilEnded(HANDLE process, int* quitCode)
{
    while (true) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                *quitCode = static_cast<int>(message.wParam);
                return kQuitReceived;
            }
            DispatchMessageA(&message);
        }
        const DWORD woken = MsgWaitForMultipleObjectsEx(1, &process, INFINITE, QS_ALLINPUT, 0);
        if (woken == WAIT_OBJECT_0) {
            return kChildEnded;
        }
        if (woken == WAIT_FAILED) {
            // The wait cannot tell when the child ends; treat it as gone rather than spin.
            return kChildEnded;
        }
    }
}

ChildOutcome RunChild(std::string commandLine, int* quitCode)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &child)) {
        return kChildNotStarted;
    }
    const ChildOutcome outcome = PumpUntilEnded(child.hProcess, quitCode);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return outcome;
}

}  // namespace

int RunPackages(HINSTANCE /*instance*/, HINSTANCE /*previousInstance*/, const char* arguments,
                int /*showCommand*/)
{
    const std::string launcherArguments = arguments != nullptr ? arguments : "";
    for (int pass = 0; pass < kPassCount; ++pass) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(PassPattern(pass), &found);
        if (search == INVALID_HANDLE_VALUE) {
            continue;
        }
        do {
            int quitCode = 0;
            const std::string commandLine =
                ChildCommandLine(pass, found.cFileName, launcherArguments);
            const ChildOutcome outcome = RunChild(commandLine, &quitCode);
            if (outcome == kQuitReceived) {
                FindClose(search);
                return quitCode;
            }
            if (outcome == kChildNotStarted && !ArgumentsAreSilent(launcherArguments)) {
                const std::string text = std::string("Unable to start ") + found.cFileName;
                MessageBoxA(nullptr, text.c_str(), "Error",
                            MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    return 0;
}

}  // namespace pkgrunner
