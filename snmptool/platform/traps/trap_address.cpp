// Reads MIBCLI_TRAP_ADDRESS. Only numeric addresses: a name would need a
// resolver at start-up and could stand for several addresses.
#include "traps/trap_address.h"

#include <arpa/inet.h>

#include <cstring>

#include "session/agent_address.h"

namespace {

// Room for the longest numeric IPv6 text and its terminator.
constexpr size_t kMaxHostText = INET6_ADDRSTRLEN;

}  // namespace

bool ParseTrapAddress(const char* text, TrapAddress* address)
{
    std::memset(address, 0, sizeof(*address));
    if (text == nullptr || *text == '\0') {
        address->everyAddress = true;
        address->port = kTrapPort;
        return true;
    }
    const char* colon = std::strrchr(text, ':');
    if (colon == nullptr) {
        address->everyAddress = true;
        return ParsePortNumber(text, address->port);
    }
    if (!ParsePortNumber(colon + 1, address->port)) {
        return false;
    }
    const char* host = text;
    size_t hostLength = static_cast<size_t>(colon - text);
    const bool bracketed = hostLength >= 2 && host[0] == '[' && host[hostLength - 1] == ']';
    if (bracketed) {
        ++host;
        hostLength -= 2;
    }
    if (hostLength == 0 || hostLength >= kMaxHostText) {
        return false;
    }
    char hostText[kMaxHostText];
    std::memcpy(hostText, host, hostLength);
    hostText[hostLength] = '\0';

    if (bracketed) {
        sockaddr_in6* v6 = reinterpret_cast<sockaddr_in6*>(&address->address);
        if (inet_pton(AF_INET6, hostText, &v6->sin6_addr) != 1) {
            return false;
        }
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(address->port);
        address->addressLength = sizeof(sockaddr_in6);
        return true;
    }
    sockaddr_in* v4 = reinterpret_cast<sockaddr_in*>(&address->address);
    if (inet_pton(AF_INET, hostText, &v4->sin_addr) != 1) {
        return false;
    }
    v4->sin_family = AF_INET;
    v4->sin_port = htons(address->port);
    address->addressLength = sizeof(sockaddr_in);
    return true;
}
