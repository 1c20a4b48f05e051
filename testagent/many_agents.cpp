#include "many_agents.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kBufferBytes = 8 << 20;

AgentObject SystemObject(uint32_t last, uint8_t tag, const std::string& text, uint32_t number)
{
    AgentObject object;
    object.name = {1, 3, 6, 1, 2, 1, 1, last, 0};
    object.value.tag = tag;
    object.value.bytes.assign(text.begin(), text.end());
    object.value.unsigned32 = number;
    return object;
}

}  // namespace

int BindManyAgents(uint16_t port, std::string& why)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    const int on = 1;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (fd < 0 || setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        why = std::string("cannot bind: ") + std::strerror(errno);
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    // A window of requests from one manager arrives at once; as root the
    // system's cap on buffers does not apply.
    for (int option : {SO_RCVBUFFORCE, SO_SNDBUFFORCE}) {
        if (setsockopt(fd, SOL_SOCKET, option, &kBufferBytes, sizeof kBufferBytes) != 0) {
            const int fallback = option == SO_RCVBUFFORCE ? SO_RCVBUF : SO_SNDBUF;
            setsockopt(fd, SOL_SOCKET, fallback, &kBufferBytes, sizeof kBufferBytes);
        }
    }
    return fd;
}

bool ReceiveWithDestination(int fd, std::vector<uint8_t>& buffer, size_t& size,
                            sockaddr_storage& from, socklen_t& fromLength, in_addr& to)
{
    iovec piece = {buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &piece;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(fd, &message, MSG_DONTWAIT);
    if (got < 0) {
        return false;
    }
    size = static_cast<size_t>(got);
    fromLength = message.msg_namelen;
    to.s_addr = 0;
    for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr;
         item = CMSG_NXTHDR(&message, item)) {
        if (item->cmsg_level == IPPROTO_IP && item->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(item), sizeof info);
            to = info.ipi_addr;
        }
    }
    return true;
}

void SendFromAddress(int fd, const std::vector<uint8_t>& bytes, const sockaddr_storage& to,
                     socklen_t toLength, in_addr from)
{
    iovec piece = {const_cast<uint8_t*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_storage*>(&to);
    message.msg_namelen = toLength;
    message.msg_iov = &piece;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* item = CMSG_FIRSTHDR(&message);
    item->cmsg_level = IPPROTO_IP;
    item->cmsg_type = IP_PKTINFO;
    item->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst = from;
    std::memcpy(CMSG_DATA(item), &info, sizeof info);
    sendmsg(fd, &message, 0);
}

bool AgentIndexOf(const ManyAgents& agents, in_addr address, uint32_t& index)
{
    const uint32_t host = ntohl(address.s_addr);
    index = host - agents.first;
    return host >= agents.first && index < agents.count;
}

bool InShare(uint32_t index, uint32_t percent)
{
    const uint64_t before = static_cast<uint64_t>(index) * percent / 100;
    const uint64_t after = (static_cast<uint64_t>(index) + 1) * percent / 100;
    return after > before;
}

void NameAgent(ObjectStore& store, in_addr address, uint32_t upTicks)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    store.Put(SystemObject(1, ASN_OCTETSTRING, std::string("test agent ") + text, 0));
    store.Put(SystemObject(3, ASN_TIMETICKS, "", upTicks));
    store.Put(SystemObject(5, ASN_OCTETSTRING, std::string("agent-") + text, 0));
}
