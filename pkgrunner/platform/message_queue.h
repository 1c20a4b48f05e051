// The launcher's message queue and the wait on a child.
//
// There are no windows here; the messages that reach the queue are the ones this system sends
// a program that should stop: SIGTERM, SIGINT and SIGHUP each post WM_QUIT with wParam 128 plus
// the signal's number (143, 130, 129), the status a shell reports for a program ended by it.
// A signal that the launcher was started with ignored (as under nohup) stays ignored.
#pragma once

#include "win_types.h"

namespace pkgrunner {

// Sets the queue up: the stop signals and SIGCHLD are blocked and read through one descriptor,
// so that the wait sleeps in the kernel until either a child ends or a message arrives. Must run
// before any other routine here and before any child starts. Returns 1, or 0 with the last error.
// On Windows it makes the thread's message queue, so that a message posted to the launcher's
// thread before its first wait is kept.
int InitMessageQueue();

#if !defined(_WIN32)
// On Windows the queue and the wait are the system's own.
// Posts WM_QUIT with the given code as its wParam.
void PostQuitMessage(int exitCode);

// Takes the first waiting message whose number lies within [filterMin, filterMax] (both 0: any
// message). Every message here is a thread message, so only a null window matches.
BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);

// Hands a message to its window's procedure. Thread messages have no window, so there is
// nothing to call and the result is 0, as on the windowed platform.
LRESULT DispatchMessageA(const MSG* message);

// Waits until one of the process handles has ended (result WAIT_OBJECT_0 + its index), a
// message is waiting (WAIT_OBJECT_0 + count), or the time-out in milliseconds passes
// (WAIT_TIMEOUT; INFINITE never passes). An ended child is reaped by the wait. The wake mask
// must include posted messages (QS_ALLINPUT does); the flags must be 0.
DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds,
                                  DWORD wakeMask, DWORD flags);
#endif

}  // namespace pkgrunner
