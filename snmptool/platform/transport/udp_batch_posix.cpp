// Batches on POSIX systems: one sendmmsg or recvmmsg moves a whole batch,
// which is what lets one process ask thousands of agents a second.
#include "transport/udp_batch.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

namespace {

constexpr size_t kMostPerCall = 64;

}  // namespace

void UdpEnlargeBuffers(int socketFd, int bytes)
{
    setsockopt(socketFd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    setsockopt(socketFd, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}

size_t UdpSendMany(int socketFd, const OutgoingDatagram* datagrams, size_t count, size_t& failedAt)
{
    failedAt = count;
    mmsghdr headers[kMostPerCall];
    iovec pieces[kMostPerCall];
    size_t done = 0;
    while (done < count) {
        const size_t batch = std::min(count - done, kMostPerCall);
        for (size_t i = 0; i < batch; ++i) {
            const OutgoingDatagram& out = datagrams[done + i];
            pieces[i] = {const_cast<uint8_t*>(out.data), out.size};
            headers[i] = {};
            headers[i].msg_hdr.msg_name = const_cast<sockaddr_storage*>(out.to);
            headers[i].msg_hdr.msg_namelen = out.toLength;
            headers[i].msg_hdr.msg_iov = &pieces[i];
            headers[i].msg_hdr.msg_iovlen = 1;
        }
        const int sent =
            sendmmsg(socketFd, headers, static_cast<unsigned>(batch), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            done += static_cast<size_t>(sent);
            continue;
        }
        if (errno == EINTR || errno == ECONNREFUSED) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) {
            return count;  // the rest is lost as on a busy network; retries make it good
        }
        failedAt = done;
        return done;
    }
    return done;
}

int UdpReceiveMany(int socketFd, IncomingDatagram* slots, size_t count)
{
    mmsghdr headers[kMostPerCall];
    iovec pieces[kMostPerCall];
    const size_t batch = std::min(count, kMostPerCall);
    for (size_t i = 0; i < batch; ++i) {
        pieces[i] = {slots[i].buffer, slots[i].capacity};
        headers[i] = {};
        headers[i].msg_hdr.msg_name = &slots[i].from;
        headers[i].msg_hdr.msg_namelen = sizeof slots[i].from;
        headers[i].msg_hdr.msg_iov = &pieces[i];
        headers[i].msg_hdr.msg_iovlen = 1;
    }
    for (;;) {
        const int got =
            recvmmsg(socketFd, headers, static_cast<unsigned>(batch), MSG_DONTWAIT, nullptr);
        if (got < 0) {
            if (errno == EINTR || errno == ECONNREFUSED) {
                continue;
            }
            return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
        }
        int kept = 0;
        for (int i = 0; i < got; ++i) {
            if ((headers[i].msg_hdr.msg_flags & MSG_TRUNC) != 0) {
                continue;
            }
            IncomingDatagram& slot = slots[kept];
            if (kept != i) {
                std::swap(slot.buffer, slots[i].buffer);
                slot.from = slots[i].from;
            }
            slot.size = headers[i].msg_len;
            slot.fromLength = headers[i].msg_hdr.msg_namelen;
            ++kept;
        }
        return kept;
    }
}

bool UdpWaitAny(const int* socketFds, bool* readable, size_t count, int waitMs)
{
    std::vector<pollfd> waiting(count);
    for (size_t i = 0; i < count; ++i) {
        waiting[i] = {socketFds[i], POLLIN, 0};
        readable[i] = false;
    }
    const int ready = poll(waiting.data(), count, waitMs);
    if (ready < 0) {
        return errno == EINTR;
    }
    for (size_t i = 0; i < count; ++i) {
        readable[i] = (waiting[i].revents & (POLLIN | POLLERR)) != 0;
    }
    return true;
}
