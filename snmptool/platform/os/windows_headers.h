// The Windows system headers, for the layer's Windows files. The layer has
// routines and codes of its own under some of the system's names (its
// last-error code, the version record, the wait results, the console control
// types); the system's declarations of those are renamed or dropped here, so
// that both can stand in one file. The layer's files include this header, never
// <windows.h> or <winsock2.h> themselves.
#pragma once

#define GetLastError SystemGetLastError_renamed
#define SetLastError SystemSetLastError_renamed
#define OSVERSIONINFOA SystemOSVERSIONINFOA_renamed
#define GetVersionExA SystemGetVersionExA_renamed
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#undef GetLastError
#undef SetLastError
#undef OSVERSIONINFOA
#undef GetVersionExA

// The layer's own values stand under these names (values/last_error.h,
// os/os_services.h); the wait results and control types are the same numbers.
#undef ERROR_NOT_ENOUGH_MEMORY
#undef WAIT_OBJECT_0
#undef WAIT_TIMEOUT
#undef WAIT_FAILED
#undef CTRL_C_EVENT
#undef CTRL_BREAK_EVENT
#undef CTRL_CLOSE_EVENT
#undef CTRL_SHUTDOWN_EVENT
#undef VER_PLATFORM_WIN32_NT

#include <cstdint>

// The system's last-error code of the calling thread and the platform family
// of the version query, read in a file of their own (os/system_bridge_win32.cpp)
// where the system's names are not renamed.
uint32_t SystemErrorCode();
uint32_t SystemPlatformFamily();

// The errno value that stands for a Winsock error code in the layer's
// interfaces, and back (values/system_error_text_win32.cpp). Codes without an
// errno of their own give EIO, and an errno without a code gives 0.
int ErrnoFromWinsockError(int code);
int WinsockErrorFromErrno(int errnoValue);
