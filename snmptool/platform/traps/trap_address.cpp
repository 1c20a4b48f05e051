// Reads MIBCLI_TRAP_ADDRESS. Only numeric addresses: a name would need a
// resolver at start-up and could stand for several addresses.
#include "traps/trap_address.h"

#include <cstring>

#include "session/agent_address.h"

bool ParseTrapAddress(const char* text, TrapAddress* address)
{
    std::memset(address, 0, sizeof(*address));
    if (text == nullptr || *text == '\0') {
        address->everyAddress = true;
        address->port = kTrapPort;
        return true;
    }
    if (std::strchr(text, ':') == nullptr) {
        address->everyAddress = true;
        return ParsePortNumber(text, address->port);
    }
    AgentText parts;
    if (!SplitAgentText(text, parts) || !parts.portGiven) {
        return false;
    }
    address->port = parts.port;
    if (parts.literalOnly) {
        sockaddr_in6* v6 = reinterpret_cast<sockaddr_in6*>(&address->address);
        if (inet_pton(AF_INET6, parts.host.c_str(), &v6->sin6_addr) != 1) {
            return false;
        }
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(address->port);
        address->addressLength = sizeof(sockaddr_in6);
        return true;
    }
    sockaddr_in* v4 = reinterpret_cast<sockaddr_in*>(&address->address);
    if (inet_pton(AF_INET, parts.host.c_str(), &v4->sin_addr) != 1) {
        return false;
    }
    v4->sin_family = AF_INET;
    v4->sin_port = htons(address->port);
    address->addressLength = sizeof(sockaddr_in);
    return true;
}
