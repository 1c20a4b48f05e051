// UDP sockets on Windows, through Winsock 2. Sockets are made
// non-blocking, so that a send or a receive never waits: waiting is done with
// select and the time left until the deadline, recomputed after every wake-up.
// Failures leave the errno value that stands for the Winsock code in errno.
#include "transport/udp_transport.h"

#include <mswsock.h>

#include <cerrno>

#include "os/system_error_win32.h"

namespace {

// Winsock must be started before the first address is resolved or socket
// made; this object, linked in with the transport, does it before main.
struct WinsockStart {
    WinsockStart()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockStart()
    {
        WSACleanup();
    }
};
WinsockStart g_winsock;

int FailWithWinsockError()
{
    errno = ErrnoFromWinsockError(WSAGetLastError());
    return -1;
}

// An interrupted call, nothing to read after all, or the port-unreachable
// report that an earlier datagram provoked: nothing about this socket.
bool IsTransient(int code)
{
    return code == WSAEINTR || code == WSAEWOULDBLOCK || code == WSAECONNRESET;
}

}  // namespace

int UdpOpen(int family)
{
    const SOCKET s =
        WSASocketW(family, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        return FailWithWinsockError();
    }
    u_long nonBlocking = 1;
    // A port-unreachable report must not fail the next receive (the default on
    // Windows): it is dropped, as the next attempt makes good what it reports.
    BOOL reportUnreachable = FALSE;
    DWORD returned = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &reportUnreachable, sizeof reportUnreachable, nullptr, 0,
             &returned, nullptr, nullptr);
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        const int code = WSAGetLastError();
        closesocket(s);
        errno = ErrnoFromWinsockError(code);
        return -1;
    }
    return static_cast<int>(s);
}

bool UdpConnect(int socketFd, const sockaddr_storage& to, socklen_t toLength)
{
    if (connect(AsSocket(socketFd), reinterpret_cast<const sockaddr*>(&to), toLength) != 0) {
        errno = ErrnoFromWinsockError(WSAGetLastError());
        return false;
    }
    return true;
}

void UdpClose(int socketFd)
{
    if (socketFd >= 0) {
        closesocket(AsSocket(socketFd));
    }
}

int UdpOpenBound(const sockaddr_storage& address, socklen_t length)
{
    const int socketFd = UdpOpen(address.ss_family);
    if (socketFd < 0) {
        return -1;
    }
    const SOCKET s = AsSocket(socketFd);
    const DWORD v6Only = 0;
    BOOL exclusive = TRUE;
    // Without it Windows lets another program bind the same port on purpose.
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    if ((address.ss_family != AF_INET6 ||
         setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&v6Only),
                    sizeof v6Only) == 0) &&
        bind(s, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
        return socketFd;
    }
    const int code = WSAGetLastError();
    closesocket(s);
    errno = ErrnoFromWinsockError(code);
    return -1;
}

uint16_t UdpBoundPort(int socketFd)
{
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(AsSocket(socketFd), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    if (local.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(local).sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in&>(local).sin_port);
}

SendOutcome UdpSend(int socketFd, const sockaddr_storage& to, socklen_t toLength,
                    const uint8_t* data, size_t size)
{
    // As on POSIX: a pending port-unreachable and an interrupted call are tried
    // again, a few times at most.
    constexpr int kTries = 3;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        // A length of 0: the connected peer.
        const int sent = toLength == 0
                             ? send(AsSocket(socketFd), reinterpret_cast<const char*>(data),
                                    static_cast<int>(size), 0)
                             : sendto(AsSocket(socketFd), reinterpret_cast<const char*>(data),
                                      static_cast<int>(size), 0,
                                      reinterpret_cast<const sockaddr*>(&to), toLength);
        if (sent != SOCKET_ERROR) {
            return SendOutcome::Sent;
        }
        const int code = WSAGetLastError();
        if (code == WSAEWOULDBLOCK || code == WSAENOBUFS) {
            return SendOutcome::Dropped;
        }
        if (code != WSAEINTR && code != WSAECONNRESET) {
            errno = ErrnoFromWinsockError(code);
            return SendOutcome::Failed;
        }
    }
    return SendOutcome::Dropped;
}

ReceiveOutcome UdpReceive(int socketFd, TransportClock::time_point deadline, uint8_t* buffer,
                          size_t capacity, size_t& received, sockaddr_storage& from,
                          socklen_t& fromLength, int& /*armedMs*/)
{
    // The wait is a select with the time that is left, so no receive
    // time-out is kept on the socket.
    const SOCKET s = AsSocket(socketFd);
    for (;;) {
        const int waitMs = MillisecondsLeft(deadline);
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval wait = {waitMs / 1000, (waitMs % 1000) * 1000};
        const int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready == SOCKET_ERROR) {
            const int code = WSAGetLastError();
            if (code == WSAEINTR) {
                continue;
            }
            errno = ErrnoFromWinsockError(code);
            return ReceiveOutcome::Failed;
        }
        if (ready == 0) {
            if (waitMs == 0) {
                return ReceiveOutcome::DeadlinePassed;
            }
            continue;
        }
        fromLength = sizeof from;
        const int length = recvfrom(s, reinterpret_cast<char*>(buffer), static_cast<int>(capacity),
                                    0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (length == SOCKET_ERROR) {
            const int code = WSAGetLastError();
            // A datagram longer than the buffer is cut and reported: dropped.
            if (IsTransient(code) || code == WSAEMSGSIZE) {
                continue;
            }
            errno = ErrnoFromWinsockError(code);
            return code == WSAEHOSTUNREACH || code == WSAENETUNREACH ? ReceiveOutcome::Unreachable
                                                                      : ReceiveOutcome::Failed;
        }
        received = static_cast<size_t>(length);
        return ReceiveOutcome::Datagram;
    }
}
