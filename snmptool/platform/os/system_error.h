// The codes of failed system calls and the words for every code the layer can
// leave: its own (values/last_error.h), else the system's. The system's part
// is in system_error_posix.cpp and system_error_win32.cpp.
#pragma once

#include <cstdint>

// Sets the code of a failed system call: ERROR_SYSTEM_BASE + errnoValue (on
// Windows, the Winsock code itself when the errno value stands for one).
void SetLastErrorFromErrno(int errnoValue);

// The one-line text of a code, or null when there is none. (Codes 0 to 39 and
// unknown codes have none.)
const char* LastErrorText(uint32_t code);

// The code for an errno value and the system's own text for a code of a failed
// system call, or null.
uint32_t SystemErrorCodeFromErrno(int errnoValue);
const char* SystemErrorText(uint32_t code);
// The C library's text for ERROR_SYSTEM_BASE + an errno value, or null.
const char* ErrnoCodeText(uint32_t code);
