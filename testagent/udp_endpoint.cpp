#include "udp_endpoint.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include "transport/udp_transport.h"

bool ParseLoopbackEndpoint(const std::string& text, Endpoint& endpoint, std::string& why)
{
    endpoint = Endpoint();
    std::string host;
    std::string port;
    if (!text.empty() && text[0] == '[') {
        size_t close = text.find("]:");
        if (close == std::string::npos) {
            why = "address '" + text + "' is not [ADDRESS]:PORT";
            return false;
        }
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        size_t colon = text.rfind(':');
        if (colon == std::string::npos) {
            why = "address '" + text + "' is not ADDRESS:PORT";
            return false;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    uint32_t number = 0;
    const char* end = port.data() + port.size();
    auto [ptr, ec] = std::from_chars(port.data(), end, number, 10);
    if (port.empty() || ec != std::errc() || ptr != end || number > 65535) {
        why = "bad port in '" + text + "'";
        return false;
    }
    auto* v4 = reinterpret_cast<sockaddr_in*>(&endpoint.address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&endpoint.address);
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(number));
        endpoint.length = sizeof(sockaddr_in);
        if ((ntohl(v4->sin_addr.s_addr) >> 24) != 127) {
            why = "address '" + host + "' is not a loopback address";
            return false;
        }
        return true;
    }
    if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<uint16_t>(number));
        endpoint.length = sizeof(sockaddr_in6);
        if (!IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr)) {
            why = "address '" + host + "' is not a loopback address";
            return false;
        }
        return true;
    }
    why = "bad address '" + host + "'";
    return false;
}

int BindUdp(const Endpoint& endpoint, std::string& why)
{
    int fd = UdpOpenBound(endpoint.address, endpoint.length);
    if (fd < 0) {
        why = std::string("cannot bind: ") + std::strerror(errno);
    }
    return fd;
}

Endpoint AnyPortLike(const Endpoint& endpoint)
{
    Endpoint copy = endpoint;
    if (copy.address.ss_family == AF_INET6) {
        reinterpret_cast<sockaddr_in6*>(&copy.address)->sin6_port = 0;
    } else {
        reinterpret_cast<sockaddr_in*>(&copy.address)->sin_port = 0;
    }
    return copy;
}
