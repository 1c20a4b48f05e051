// The calling thread's last-error code: the layer's routines set it when they fail, and the
// caller reads it right after the failing call.
#pragma once

#include "win_types.h"

namespace pkgrunner {

#if !defined(_WIN32)
// On Windows the last-error code is the system's own.
DWORD GetLastError();
void SetLastError(DWORD code);

// The last-error code that stands for this system's error number, for the layer's routines.
DWORD ErrorFromErrno(int error);
#endif

}  // namespace pkgrunner
