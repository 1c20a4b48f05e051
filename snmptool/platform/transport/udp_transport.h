// UDP sockets: a manager session's (open, send a datagram, receive one with a
// deadline, close) and a bound one to listen on, for the manager, trap
// reception and the test agent alike. Reports through results; the caller
// sets the codes.
#pragma once

#include "transport/socket_types.h"

#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdint>

using TransportClock = std::chrono::steady_clock;

// Whole milliseconds until the deadline, rounded up so that the wait never
// ends just before it; 0 once it has passed. Inline: every receive asks it.
inline int MillisecondsLeft(TransportClock::time_point deadline)
{
    const auto left = deadline - TransportClock::now();
    if (left <= TransportClock::duration::zero()) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// A receive buffer this large takes any datagram whole (one byte more than the
// largest UDP length, so that a longer one shows as cut and is dropped).
constexpr size_t kReceiveBufferSize = 65536;

// A socket of the given family (AF_INET or AF_INET6), closed on exec.
// -1 on failure, errno telling why.
int UdpOpen(int family);
void UdpClose(int socketFd);
// Connects the socket to its one peer, so that the kernel keeps every other
// sender's datagrams away and a request costs one send and one receive.
// False (errno telling why) leaves the socket as it was.
bool UdpConnect(int socketFd, const sockaddr_storage& to, socklen_t toLength);

// A socket bound to `address` (port 0 lets the system pick one), closed on
// exec; an IPv6 one takes IPv4 senders too. -1 on failure, errno telling why.
int UdpOpenBound(const sockaddr_storage& address, socklen_t length);
// The local port of a bound socket; 0 when it cannot be told.
uint16_t UdpBoundPort(int socketFd);

enum class SendOutcome {
    Sent,
    // The kernel had no room for it: treated like a datagram the network lost,
    // which the next attempt makes good.
    Dropped,
    Failed,  // errno tells why
};

// A `toLength` of 0 sends to the connected peer, which spares the kernel a
// route lookup per datagram.
SendOutcome UdpSend(int socketFd, const sockaddr_storage& to, socklen_t toLength,
                    const uint8_t* data, size_t size);

enum class ReceiveOutcome {
    Datagram,
    DeadlinePassed,
    // The system reported that a datagram sent on this socket met a closed
    // port or no route (errno ECONNREFUSED, EHOSTUNREACH or ENETUNREACH).
    // Which datagram is not told, so it is no answer: the caller may wait on.
    Unreachable,
    Failed,  // errno tells why
};

// Waits until one datagram arrives, the deadline passes or a report that the
// peer is unreachable comes (Windows sockets drop the port-unreachable ones).
// Interruptions by signals do not end the wait. A datagram longer than the buffer
// is dropped and the wait goes on. Even with the deadline already past, a
// datagram that waits is still taken. The wait is the receive itself, under
// the socket's receive time-out: `armedMs` is the time-out the socket holds
// (0 for none yet), set again only when the time left differs from it.
ReceiveOutcome UdpReceive(int socketFd, TransportClock::time_point deadline, uint8_t* buffer,
                          size_t capacity, size_t& received, sockaddr_storage& from,
                          socklen_t& fromLength, int& armedMs);
