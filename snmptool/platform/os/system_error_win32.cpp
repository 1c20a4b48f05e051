// The codes of failed system calls on Windows and their words: a Winsock
// failure is its Winsock code (the layer's interfaces carry it as the errno
// value that stands for it), with the system's message text; another errno
// value is ERROR_SYSTEM_BASE plus the value, with strerror's text.
#include <winsock2.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "os/system_error.h"
#include "os/system_error_win32.h"
#include "values/last_error.h"

namespace {

struct WinsockErrno {
    int code;
    int errnoValue;
};

// The failures a UDP socket and its address can meet.
constexpr WinsockErrno kWinsockErrnos[] = {
    {WSAEINTR, EINTR},
    {WSAEACCES, EACCES},
    {WSAEINVAL, EINVAL},
    {WSAEMFILE, EMFILE},
    {WSAEWOULDBLOCK, EWOULDBLOCK},
    {WSAEMSGSIZE, EMSGSIZE},
    {WSAEAFNOSUPPORT, EAFNOSUPPORT},
    {WSAEADDRINUSE, EADDRINUSE},
    {WSAEADDRNOTAVAIL, EADDRNOTAVAIL},
    {WSAENETDOWN, ENETDOWN},
    {WSAENETUNREACH, ENETUNREACH},
    {WSAECONNRESET, ECONNREFUSED},  // a port-unreachable report on a datagram socket
    {WSAENOBUFS, ENOBUFS},
    {WSAEHOSTUNREACH, EHOSTUNREACH},
    {WSAENOTSOCK, EBADF},
};

// Static per thread, like strerror's texts: read before the next report.
thread_local char t_text[512];

const char* MessageText(uint32_t code)
{
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                       t_text, static_cast<DWORD>(sizeof t_text), nullptr);
    if (length == 0) {
        return nullptr;
    }
    // The system ends its texts with a line end of its own; the report adds one.
    size_t end = std::strlen(t_text);
    while (end > 0 &&
           (t_text[end - 1] == '\r' || t_text[end - 1] == '\n' || t_text[end - 1] == ' ')) {
        --end;
    }
    t_text[end] = '\0';
    return end > 0 ? t_text : nullptr;
}

}  // namespace

int ErrnoFromWinsockError(int code)
{
    for (const WinsockErrno& entry : kWinsockErrnos) {
        if (entry.code == code) {
            return entry.errnoValue;
        }
    }
    return EIO;
}

int WinsockErrorFromErrno(int errnoValue)
{
    for (const WinsockErrno& entry : kWinsockErrnos) {
        if (entry.errnoValue == errnoValue) {
            return entry.code;
        }
    }
    return 0;
}

uint32_t SystemErrorCodeFromErrno(int errnoValue)
{
    const int winsockCode = WinsockErrorFromErrno(errnoValue);
    if (winsockCode != 0) {
        return static_cast<uint32_t>(winsockCode);
    }
    return ERROR_SYSTEM_BASE + static_cast<uint32_t>(errnoValue);
}

// Winsock's codes (10004 to 11031) lie within ERROR_SYSTEM_BASE plus an errno
// value; no errno value of this runtime reaches them where they are in use, as
// every errno that stands for a Winsock code is set as that code.
const char* SystemErrorText(uint32_t code)
{
    for (const WinsockErrno& entry : kWinsockErrnos) {
        if (static_cast<uint32_t>(entry.code) == code) {
            return MessageText(code);
        }
    }
    if (code > ERROR_SYSTEM_BASE && code < ERROR_SYSTEM_BASE + 4096) {
        return ErrnoCodeText(code);
    }
    return MessageText(code);
}
