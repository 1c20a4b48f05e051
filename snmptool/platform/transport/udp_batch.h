// Many datagrams a call over one unconnected socket, for a fleet of agents:
// sendmmsg and recvmmsg where the system has them, a loop elsewhere. Nothing
// here waits except UdpWaitAny.
#pragma once

#include "transport/socket_types.h"

#include <cstddef>
#include <cstdint>

struct OutgoingDatagram {
    const sockaddr_storage* to;
    socklen_t toLength;
    const uint8_t* data;
    size_t size;
};

struct IncomingDatagram {
    uint8_t* buffer;
    size_t capacity;
    size_t size;
    sockaddr_storage from;
    socklen_t fromLength;
};

// Asks for large kernel buffers, so that the answers of a whole window fit
// while they wait to be read; the system may grant less.
void UdpEnlargeBuffers(int socketFd, int bytes);

// Sends the datagrams in order. Returns how many left (or were lost like on a
// network: no room in the kernel); `failedAt` is the index of a datagram the
// system refused outright (errno telling why), or `count` when none was.
size_t UdpSendMany(int socketFd, const OutgoingDatagram* datagrams, size_t count, size_t& failedAt);

// Takes up to `count` datagrams that wait now, never waiting; datagrams cut by
// a short buffer are dropped. -1 on failure (errno telling why).
int UdpReceiveMany(int socketFd, IncomingDatagram* slots, size_t count);

// Waits until one of the sockets has a datagram to read, or `waitMs` passed;
// `readable[i]` tells which. False on failure (errno telling why).
bool UdpWaitAny(const int* socketFds, bool* readable, size_t count, int waitMs);
