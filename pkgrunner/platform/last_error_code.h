// The calling thread's last-error code: the layer's routines set it when they fail, and the
// caller reads it right after the failing call.
#pragma once

#include "win_types.h"

namespace pkgrunner {

DWORD GetLastError();
void SetLastError(DWORD code);

// The last-error code that stands for this system's error number, for the layer's routines.
DWORD ErrorFromErrno(int error);

}  // namespace pkgrunner
