// Splitting an agent text into host and port, and resolving it once.
#include "session/agent_address.h"

#include <cerrno>
#include <cstring>

#include "os/system_error.h"
#include "snmp_api.h"
#include "values/last_error.h"

namespace {

// "[host]" or "[host]:port".
bool SplitBracketed(std::string_view text, AgentText& parts)
{
    size_t close = text.find(']');
    if (close == std::string_view::npos || close == 1) {
        return false;
    }
    parts.host.assign(text.substr(1, close - 1));
    parts.literalOnly = true;
    std::string_view rest = text.substr(close + 1);
    if (rest.empty()) {
        return true;
    }
    if (rest.front() != ':') {
        return false;
    }
    parts.portGiven = true;
    return ParsePortNumber(rest.substr(1), parts.port);
}

// Takes the zone off an IPv6 literal ("fe80::1%eth0", "fe80::1%2") and gives
// its interface index; 0 when there is none. Read here rather than by the
// resolver, which takes interface names for link-local addresses only and
// whose failure would not say what was wrong. False with the last error set
// when the zone is empty or names no interface.
bool TakeZone(std::string& host, uint32_t& scope)
{
    scope = 0;
    const size_t percent = host.find('%');
    if (percent == std::string::npos) {
        return true;
    }
    const std::string zone = host.substr(percent + 1);
    host.erase(percent);
    uint64_t number = 0;
    bool numeric = !zone.empty();
    for (size_t i = 0; numeric && i < zone.size(); ++i) {
        number = number * 10 + static_cast<uint64_t>(zone[i] - '0');
        numeric = zone[i] >= '0' && zone[i] <= '9' && number <= UINT32_MAX;
    }
    scope = numeric ? static_cast<uint32_t>(number) : if_nametoindex(zone.c_str());
    if (!numeric && scope == 0) {
        SetLastError(ERROR_UNKNOWN_ZONE);
        return false;
    }
    return true;
}

void SetPort(sockaddr_storage& address, uint16_t port)
{
    if (address.ss_family == AF_INET) {
        reinterpret_cast<sockaddr_in&>(address).sin_port = htons(port);
    } else {
        reinterpret_cast<sockaddr_in6&>(address).sin6_port = htons(port);
    }
}

// Fails with the resolver's own code, which the caller turns into a last error.
int Lookup(const std::string& host, int family, int flags, AgentAddress& resolved)
{
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = family;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0) {
        return status;
    }
    // A name with both kinds of address: IPv4 first, since agents reached by
    // name listen on IPv4 far more often than on IPv6.
    const addrinfo* chosen = nullptr;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET) {
            chosen = entry;
            break;
        }
        if (entry->ai_family == AF_INET6 && chosen == nullptr) {
            chosen = entry;
        }
    }
    if (chosen == nullptr || chosen->ai_addrlen > sizeof resolved.address) {
        freeaddrinfo(found);
        return EAI_NONAME;
    }
    std::memset(&resolved.address, 0, sizeof resolved.address);
    std::memcpy(&resolved.address, chosen->ai_addr, chosen->ai_addrlen);
    resolved.length = chosen->ai_addrlen;
    freeaddrinfo(found);
    return 0;
}

// Every resolver failure other than a lack of memory or a failed system call
// means the name did not lead to an address.
void SetResolverError(int status, int savedErrno)
{
    if (status == EAI_MEMORY) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } else if (status == EAI_SYSTEM && savedErrno != 0) {
        SetLastErrorFromErrno(savedErrno);
    } else {
        SetLastError(ERROR_UNKNOWN_HOST);
    }
}

}  // namespace

bool ParsePortNumber(std::string_view text, uint16_t& port)
{
    if (text.empty()) {
        return false;
    }
    // Bounded while it is read, so a long run of digits cannot overflow.
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
        if (value > UINT16_MAX) {
            return false;
        }
    }
    port = static_cast<uint16_t>(value);
    return true;
}

bool SplitAgentText(std::string_view text, AgentText& parts)
{
    parts = AgentText{};
    if (text.empty()) {
        return false;
    }
    if (text.front() == '[') {
        return SplitBracketed(text, parts);
    }
    if (text.find(']') != std::string_view::npos) {
        return false;
    }
    size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        parts.host.assign(text);
        return true;
    }
    if (text.find(':', colon + 1) != std::string_view::npos) {
        // More than one colon: an IPv6 address written without brackets, which
        // then cannot carry a port.
        parts.host.assign(text);
        parts.literalOnly = true;
        return true;
    }
    if (colon == 0) {
        return false;
    }
    parts.host.assign(text.substr(0, colon));
    parts.portGiven = true;
    return ParsePortNumber(text.substr(colon + 1), parts.port);
}

bool ResolveAgentAddress(const char* text, AgentAddress& resolved)
{
    if (text == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return false;
    }
    AgentText parts;
    // Port 0 reaches no one. A bad port has a code of its own, so that the
    // message says which part of the agent word is wrong.
    if (!SplitAgentText(text, parts) || parts.port == 0) {
        SetLastError(parts.portGiven ? ERROR_BAD_PORT : ERROR_BAD_ARGUMENT);
        return false;
    }
    uint32_t scope = 0;
    if (parts.literalOnly && !TakeZone(parts.host, scope)) {
        return false;
    }
    int family = parts.literalOnly ? AF_INET6 : AF_UNSPEC;
    int status = Lookup(parts.host, family, AI_NUMERICHOST, resolved);
    if (status == EAI_MEMORY) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (status != 0 && parts.literalOnly) {
        // Brackets or colons promise an IPv6 literal; no name can hold them.
        SetLastError(ERROR_BAD_ARGUMENT);
        return false;
    }
    if (status != 0) {
        errno = 0;
        status = Lookup(parts.host, AF_UNSPEC, 0, resolved);
        if (status != 0) {
            SetResolverError(status, errno);
            return false;
        }
    }
    SetPort(resolved.address, parts.port);
    if (scope != 0) {
        reinterpret_cast<sockaddr_in6&>(resolved.address).sin6_scope_id = scope;
    }
    return true;
}

bool IsSameEndpoint(const AgentAddress& agent, const sockaddr_storage& from, socklen_t fromLength)
{
    if (from.ss_family != agent.address.ss_family) {
        return false;
    }
    if (from.ss_family == AF_INET) {
        if (fromLength < static_cast<socklen_t>(sizeof(sockaddr_in))) {
            return false;
        }
        const auto& a = reinterpret_cast<const sockaddr_in&>(agent.address);
        const auto& b = reinterpret_cast<const sockaddr_in&>(from);
        return a.sin_port == b.sin_port && a.sin_addr.s_addr == b.sin_addr.s_addr;
    }
    if (from.ss_family == AF_INET6) {
        if (fromLength < static_cast<socklen_t>(sizeof(sockaddr_in6))) {
            return false;
        }
        const auto& a = reinterpret_cast<const sockaddr_in6&>(agent.address);
        const auto& b = reinterpret_cast<const sockaddr_in6&>(from);
        return a.sin6_port == b.sin6_port &&
               std::memcmp(&a.sin6_addr, &b.sin6_addr, sizeof a.sin6_addr) == 0;
    }
    return false;
}

std::string SnmpMgrAgentText(const char* agent)
{
    AgentText parts;
    if (agent == nullptr || !SplitAgentText(agent, parts)) {
        return std::string();
    }
    const bool v6 = parts.host.find(':') != std::string::npos;
    std::string text(v6 ? "[" : "");
    text.append(parts.host).append(v6 ? "]:" : ":").append(std::to_string(parts.port));
    return text;
}
