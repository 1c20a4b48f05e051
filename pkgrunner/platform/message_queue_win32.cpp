#include "message_queue.h"

namespace pkgrunner {

int InitMessageQueue()
{
    // The system makes a thread's queue at its first call on one.
    MSG message;
    PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    return 1;
}

}  // namespace pkgrunner
