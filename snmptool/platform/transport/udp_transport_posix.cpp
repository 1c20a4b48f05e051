// UDP sockets on POSIX systems. Waiting is done by the receive itself under the
// socket's receive time-out, set to the time that is left until the deadline
// whenever that has changed, so that signals and unwanted datagrams never move
// the deadline and an answer that comes in time costs one system call.
#include "transport/udp_transport.h"

#include <netinet/in.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

namespace {

// An error a datagram socket may report that says nothing about this socket:
// an interrupted call, or nothing to read after all.
bool IsTransient(int error)
{
    return error == EINTR || error == EAGAIN || error == EWOULDBLOCK;
}

// The ICMP reports (RFC 1122 section 4.1.3.3) that a connected socket is
// given for a datagram it sent earlier.
bool IsUnreachable(int error)
{
    return error == ECONNREFUSED || error == EHOSTUNREACH || error == ENETUNREACH;
}

}  // namespace

int UdpOpen(int family)
{
    return socket(family, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
}

bool UdpConnect(int socketFd, const sockaddr_storage& to, socklen_t toLength)
{
    return connect(socketFd, reinterpret_cast<const sockaddr*>(&to), toLength) == 0;
}

void UdpClose(int socketFd)
{
    if (socketFd >= 0) {
        close(socketFd);
    }
}

int UdpOpenBound(const sockaddr_storage& address, socklen_t length)
{
    const int socketFd = UdpOpen(address.ss_family);
    if (socketFd < 0) {
        return -1;
    }
    const int v6Only = 0;
    if ((address.ss_family != AF_INET6 ||
         setsockopt(socketFd, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only) == 0) &&
        bind(socketFd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
        return socketFd;
    }
    const int reason = errno;
    close(socketFd);
    errno = reason;
    return -1;
}

uint16_t UdpBoundPort(int socketFd)
{
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (getsockname(socketFd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
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
    // A pending port-unreachable is reported by the next call and then cleared,
    // and an interrupted call sent nothing: both are tried once more, and only
    // a few times in all, so that a socket stuck in either cannot hold us here.
    constexpr int kTries = 3;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        ssize_t sent =
            sendto(socketFd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL,
                   toLength == 0 ? nullptr : reinterpret_cast<const sockaddr*>(&to), toLength);
        if (sent >= 0) {
            return SendOutcome::Sent;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) {
            return SendOutcome::Dropped;
        }
        if (errno != EINTR && errno != ECONNREFUSED) {
            return SendOutcome::Failed;
        }
    }
    return SendOutcome::Dropped;
}

ReceiveOutcome UdpReceive(int socketFd, TransportClock::time_point deadline, uint8_t* buffer,
                          size_t capacity, size_t& received, sockaddr_storage& from,
                          socklen_t& fromLength, int& armedMs)
{
    for (;;) {
        const int waitMs = MillisecondsLeft(deadline);
        // MSG_TRUNC makes the result the datagram's true length, so a cut one
        // is recognised instead of being taken for a short message. A receive
        // time-out of 0 would wait for ever: the last look does not wait.
        int flags = MSG_TRUNC;
        if (waitMs == 0) {
            flags |= MSG_DONTWAIT;
        } else if (waitMs != armedMs) {
            const timeval wait = {waitMs / 1000, (waitMs % 1000) * 1000};
            if (setsockopt(socketFd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) != 0) {
                return ReceiveOutcome::Failed;
            }
            armedMs = waitMs;
        }
        fromLength = sizeof from;
        ssize_t length = recvfrom(socketFd, buffer, capacity, flags,
                                  reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (length < 0) {
            if ((errno == EAGAIN || errno == EWOULDBLOCK) && waitMs == 0) {
                return ReceiveOutcome::DeadlinePassed;
            }
            if (IsTransient(errno)) {
                continue;
            }
            return IsUnreachable(errno) ? ReceiveOutcome::Unreachable : ReceiveOutcome::Failed;
        }
        if (static_cast<size_t>(length) > capacity) {
            continue;
        }
        received = static_cast<size_t>(length);
        return ReceiveOutcome::Datagram;
    }
}
