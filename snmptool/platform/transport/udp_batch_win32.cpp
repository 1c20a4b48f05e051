// Batches on Windows: Winsock has no call that moves many datagrams, so each
// goes by its own sendto or recvfrom on the non-blocking socket.
#include "transport/udp_batch.h"

#include <cerrno>
#include <vector>

#include "os/system_error_win32.h"

void UdpEnlargeBuffers(int socketFd, int bytes)
{
    const SOCKET s = AsSocket(socketFd);
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

size_t UdpSendMany(int socketFd, const OutgoingDatagram* datagrams, size_t count, size_t& failedAt)
{
    failedAt = count;
    const SOCKET s = AsSocket(socketFd);
    for (size_t i = 0; i < count; ++i) {
        const OutgoingDatagram& out = datagrams[i];
        if (sendto(s, reinterpret_cast<const char*>(out.data), static_cast<int>(out.size), 0,
                   reinterpret_cast<const sockaddr*>(out.to), out.toLength) != SOCKET_ERROR) {
            continue;
        }
        const int code = WSAGetLastError();
        if (code == WSAEWOULDBLOCK || code == WSAENOBUFS) {
            return count;  // lost as on a busy network; retries make it good
        }
        if (code != WSAEINTR && code != WSAECONNRESET) {
            errno = ErrnoFromWinsockError(code);
            failedAt = i;
            return i;
        }
    }
    return count;
}

int UdpReceiveMany(int socketFd, IncomingDatagram* slots, size_t count)
{
    const SOCKET s = AsSocket(socketFd);
    size_t kept = 0;
    while (kept < count) {
        IncomingDatagram& slot = slots[kept];
        slot.fromLength = sizeof slot.from;
        const int length =
            recvfrom(s, reinterpret_cast<char*>(slot.buffer), static_cast<int>(slot.capacity), 0,
                     reinterpret_cast<sockaddr*>(&slot.from), &slot.fromLength);
        if (length != SOCKET_ERROR) {
            slot.size = static_cast<size_t>(length);
            ++kept;
            continue;
        }
        const int code = WSAGetLastError();
        if (code == WSAEWOULDBLOCK) {
            break;
        }
        // A cut datagram is dropped, a port-unreachable report says nothing here.
        if (code != WSAEMSGSIZE && code != WSAECONNRESET && code != WSAEINTR) {
            errno = ErrnoFromWinsockError(code);
            return kept > 0 ? static_cast<int>(kept) : -1;
        }
    }
    return static_cast<int>(kept);
}

bool UdpWaitAny(const int* socketFds, bool* readable, size_t count, int waitMs)
{
    std::vector<WSAPOLLFD> waiting(count);
    for (size_t i = 0; i < count; ++i) {
        waiting[i] = {AsSocket(socketFds[i]), POLLRDNORM, 0};
        readable[i] = false;
    }
    const int ready = WSAPoll(waiting.data(), static_cast<ULONG>(count), waitMs);
    if (ready == SOCKET_ERROR) {
        errno = ErrnoFromWinsockError(WSAGetLastError());
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        readable[i] = (waiting[i].revents & (POLLRDNORM | POLLERR)) != 0;
    }
    return true;
}
