// The trap thread on Windows: the socket's read readiness and the wake-up are
// two event objects, waited on together.
#include "transport/trap_socket.h"

#include <thread>

#include "values/last_error.h"

namespace {

WSAEVENT g_readable = WSA_INVALID_EVENT;
WSAEVENT g_wake = WSA_INVALID_EVENT;
std::thread g_thread;

}  // namespace

bool OpenTrapWake(int socket)
{
    g_readable = WSACreateEvent();
    g_wake = WSACreateEvent();
    // Ties the socket's readiness to its event (the socket stays non-blocking).
    if (g_readable == WSA_INVALID_EVENT || g_wake == WSA_INVALID_EVENT ||
        WSAEventSelect(AsSocket(socket), g_readable, FD_READ) != 0) {
        SetLastError(static_cast<uint32_t>(WSAGetLastError()));
        CloseTrapWake();
        return false;
    }
    return true;
}

void CloseTrapWake()
{
    if (g_readable != WSA_INVALID_EVENT) {
        WSACloseEvent(g_readable);
        g_readable = WSA_INVALID_EVENT;
    }
    if (g_wake != WSA_INVALID_EVENT) {
        WSACloseEvent(g_wake);
        g_wake = WSA_INVALID_EVENT;
    }
}

void RingTrapWake(int /*socket*/)
{
    WSASetEvent(g_wake);
}

bool WaitForTrapDatagram(int /*socket*/)
{
    const WSAEVENT events[2] = {g_wake, g_readable};
    // The result is the index of the event that woke the wait (WSA_WAIT_EVENT_0 is 0).
    const DWORD woken = WSAWaitForMultipleEvents(2, events, FALSE, WSA_INFINITE, FALSE);
    if (woken != 1) {
        return false;
    }
    // Cleared before reading: a datagram that arrives after the reads sets it again.
    WSAResetEvent(g_readable);
    return true;
}

long ReadTrapDatagram(int socket, uint8_t* buffer, size_t capacity, sockaddr_storage& sender,
                      socklen_t& senderLength)
{
    const int got =
        recvfrom(AsSocket(socket), reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                 reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (got == SOCKET_ERROR) {
        // A datagram longer than the buffer is cut: reported as too long.
        return WSAGetLastError() == WSAEMSGSIZE ? static_cast<long>(capacity) + 1 : -1;
    }
    return got;
}

bool SendTrapAnswer(int socket, const uint8_t* data, size_t size, const sockaddr_storage& to,
                    socklen_t toLength)
{
    // The socket does not block (its reads are driven by the event), so
    // neither does this send.
    return sendto(AsSocket(socket), reinterpret_cast<const char*>(data), static_cast<int>(size), 0,
                  reinterpret_cast<const sockaddr*>(&to), toLength) == static_cast<int>(size);
}

void EnlargeTrapReceiveBuffer(int socket)
{
    const int size = kTrapReceiveBufferBytes;
    setsockopt(AsSocket(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size),
               sizeof(size));
}

bool StartTrapThread(void (*body)())
{
    try {
        g_thread = std::thread(body);
    } catch (const std::system_error& failure) {
        SetLastError(static_cast<uint32_t>(failure.code().value()));
        return false;
    }
    return true;
}

void JoinTrapThread()
{
    if (g_thread.joinable()) {
        g_thread.join();
    }
}
