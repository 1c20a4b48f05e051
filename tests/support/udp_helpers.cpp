// Loopback UDP for the tests: free ports and single exchanges.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>

#include "test_processes.h"

namespace testsupport {

namespace {

bool ParseAddress(const std::string& text, sockaddr_storage& address, socklen_t& length)
{
    std::memset(&address, 0, sizeof address);
    bool bracketed = !text.empty() && text[0] == '[';
    size_t colon = bracketed ? text.find("]:") : text.rfind(':');
    if (colon == std::string::npos) {
        return false;
    }
    std::string host = bracketed ? text.substr(1, colon - 1) : text.substr(0, colon);
    std::string portText = text.substr(colon + (bracketed ? 2 : 1));
    unsigned port = 0;
    auto [ptr, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (ec != std::errc() || ptr != portText.data() + portText.size() || port > 65535) {
        return false;
    }
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        length = sizeof(sockaddr_in);
        return true;
    }
    if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(port));
        length = sizeof(sockaddr_in6);
        return true;
    }
    return false;
}

}  // namespace

uint16_t PickFreeUdpPort()
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

bool SkipAllowed()
{
    const char* value = std::getenv("MIBCLI_ALLOW_SKIP");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

std::optional<std::vector<uint8_t>> UdpExchange(const std::string& address,
                                                const std::vector<uint8_t>& datagram, int timeoutMs)
{
    sockaddr_storage to{};
    socklen_t length = 0;
    if (!ParseAddress(address, to, length)) {
        return std::nullopt;
    }
    int fd = socket(to.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<std::vector<uint8_t>> answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), length) == 0 &&
        send(fd, datagram.data(), datagram.size(), 0) == static_cast<ssize_t>(datagram.size())) {
        pollfd waiting = {fd, POLLIN, 0};
        if (poll(&waiting, 1, timeoutMs) > 0) {
            std::vector<uint8_t> buffer(65536);
            ssize_t size = recv(fd, buffer.data(), buffer.size(), 0);
            if (size >= 0) {
                buffer.resize(static_cast<size_t>(size));
                answer = buffer;
            }
        }
    }
    close(fd);
    return answer;
}

}  // namespace testsupport
