// The launcher's windowed entry on Windows: the system hands it the command-line text after the
// program name, which is used as it stands, and its result becomes the exit status.
#include "platform/message_queue.h"
#include "run_packages.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR arguments, int showCommand)
{
    pkgrunner::InitMessageQueue();
    return pkgrunner::RunPackages(instance, previousInstance, arguments, showCommand);
}
