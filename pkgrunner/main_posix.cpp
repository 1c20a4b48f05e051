// The launcher's entry: this system hands the arguments already split, so they are joined back
// into the one text the launcher works with, and its result becomes the exit status (0, or the
// WM_QUIT code such as 143 when it was told to stop).
#include <csignal>
#include <string>

#include "platform/command_line.h"
#include "platform/error_box.h"
#include "platform/message_queue.h"
#include "platform/win_types.h"
#include "run_packages.h"

int main(int argc, char** argv)
{
    using namespace pkgrunner;
    // An error line to a standard error that nobody reads any more must not end the run half
    // way; the write just fails. Children get the signal back at its default.
    signal(SIGPIPE, SIG_IGN);
    if (!InitMessageQueue()) {
        // Without the queue the launcher could neither wait for a child nor be stopped cleanly.
        MessageBoxA(nullptr, "Unable to set up the message queue", "Error",
                    MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
        return 1;
    }
    const std::string arguments = JoinArguments(argc, argv);
    return RunPackages(nullptr, nullptr, arguments.c_str(), SW_SHOWDEFAULT);
}
