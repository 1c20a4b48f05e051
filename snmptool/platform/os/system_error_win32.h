// Winsock's error codes in the layer's interfaces, which carry them as the
// errno values that stand for them (os/system_error_win32.cpp).
#pragma once

// Codes without an errno of their own give EIO, and an errno without a code
// gives 0.
int ErrnoFromWinsockError(int code);
int WinsockErrorFromErrno(int errnoValue);
