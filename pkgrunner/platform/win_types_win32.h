// On Windows the types are the system's own (win_types.h picks this file): the
// launcher calls the real operations, and its layer adds only what the system
// lacks (error_box.h, message_queue.h).
#pragma once

#include <windows.h>

namespace pkgrunner {
using ::BOOL;
using ::DWORD;
using ::HANDLE;
using ::HINSTANCE;
using ::HWND;
using ::LPARAM;
using ::LRESULT;
using ::MSG;
using ::PROCESS_INFORMATION;
using ::STARTUPINFOA;
using ::UINT;
using ::WIN32_FIND_DATAA;
using ::WPARAM;
}  // namespace pkgrunner
