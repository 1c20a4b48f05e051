// Expanding an agent list into addresses, once each, refusing the whole list
// at its first bad item so that nothing is sent for a list the user mistyped.
#include "session/agent_list.h"
#include "session/listed_address.h"

#include <cstring>
#include <fstream>
#include <new>
#include <string>
#include <unordered_set>

#include "values/last_error.h"

namespace {

// Four decimal octets, nothing else.
bool ParseIpv4(std::string_view text, uint32_t& address)
{
    address = 0;
    int octets = 0;
    size_t at = 0;
    while (octets < 4) {
        size_t digits = 0;
        uint32_t octet = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4) {
            octet = octet * 10 + static_cast<uint32_t>(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || digits > 3 || octet > 255) {
            return false;
        }
        address = (address << 8) | octet;
        ++octets;
        if (octets < 4) {
            if (at >= text.size() || text[at] != '.') {
                return false;
            }
            ++at;
        }
    }
    return at == text.size();
}

bool ParseSmallNumber(std::string_view text, uint32_t most, uint32_t& value)
{
    value = 0;
    if (text.empty() || text.size() > 10) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value <= most;
}

// A span of IPv4 addresses, first to last, on one port.
struct Span {
    uint32_t first;
    uint64_t count;
    uint16_t port;
};

// Splits off a final ":port", which a range or block may carry.
bool SplitSpanPort(std::string_view text, std::string_view& body, uint16_t& port)
{
    port = kDefaultAgentPort;
    body = text;
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        return true;
    }
    body = text.substr(0, colon);
    return ParsePortNumber(text.substr(colon + 1), port) && port != 0;
}

// "A-B" with B an address or the last octet of one; "A/N". False for
// anything else, which is then an agent or malformed.
bool ParseSpanBody(std::string_view body, Span& span)
{
    const size_t dash = body.find('-');
    if (dash != std::string_view::npos) {
        uint32_t first = 0;
        uint32_t last = 0;
        if (!ParseIpv4(body.substr(0, dash), first)) {
            return false;
        }
        std::string_view end = body.substr(dash + 1);
        uint32_t octet = 0;
        if (ParseSmallNumber(end, 255, octet)) {
            last = (first & 0xFFFFFF00u) | octet;
        } else if (!ParseIpv4(end, last)) {
            return false;
        }
        span.first = first;
        span.count = last >= first ? static_cast<uint64_t>(last) - first + 1 : 0;
        return true;
    }
    const size_t slash = body.find('/');
    uint32_t base = 0;
    uint32_t prefix = 0;
    if (slash == std::string_view::npos || !ParseIpv4(body.substr(0, slash), base) ||
        !ParseSmallNumber(body.substr(slash + 1), 32, prefix)) {
        return false;
    }
    const uint64_t size = uint64_t{1} << (32 - prefix);
    const uint32_t network = static_cast<uint32_t>(base & ~(size - 1));
    // The network and broadcast addresses are no hosts, except in the
    // blocks of one or two addresses (RFC 3021).
    const bool hostsOnly = size > 2;
    span.first = hostsOnly ? network + 1 : network;
    span.count = hostsOnly ? size - 2 : size;
    return true;
}

bool ParseSpan(std::string_view text, Span& span, bool& looksLikeSpan)
{
    std::string_view body;
    uint16_t port = 0;
    const bool portFits = SplitSpanPort(text, body, port);
    looksLikeSpan = ParseSpanBody(body, span);
    span.port = port;
    return looksLikeSpan && portFits && span.count > 0;
}

// An address with a dash or slash after it was meant as a range or block:
// no name to ask the resolver about.
bool StartsLikeSpan(std::string_view text)
{
    const size_t mark = text.find_first_of("-/");
    uint32_t address = 0;
    return mark != std::string_view::npos && ParseIpv4(text.substr(0, mark), address);
}

AgentAddress Ipv4Agent(uint32_t address, uint16_t port)
{
    AgentAddress agent{};
    sockaddr_in& in = reinterpret_cast<sockaddr_in&>(agent.address);
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    in.sin_addr.s_addr = htonl(address);
    agent.length = sizeof(sockaddr_in);
    return agent;
}

// The address and port (and an IPv6 zone): what makes two items the same agent.
std::string Ipv6Key(const AgentAddress& agent)
{
    const sockaddr_in6& in6 = reinterpret_cast<const sockaddr_in6&>(agent.address);
    std::string key(22, '\0');
    std::memcpy(key.data(), &in6.sin6_addr, 16);
    std::memcpy(key.data() + 16, &in6.sin6_port, 2);
    std::memcpy(key.data() + 18, &in6.sin6_scope_id, 4);
    return key;
}

uint64_t Ipv4Key(const AgentAddress& agent)
{
    const sockaddr_in& in = reinterpret_cast<const sockaddr_in&>(agent.address);
    return (static_cast<uint64_t>(ntohl(in.sin_addr.s_addr)) << 16) | ntohs(in.sin_port);
}

// No agent line is longer; reading stops there, so that a file without line
// ends (a device, an endless pipe) cannot take all the memory.
constexpr size_t kMostLineBytes = 65536;

// The next line without its end; false at the end of the file, or for a line
// over kMostLineBytes, which `tooLong` tells.
bool ReadLine(std::istream& in, std::string& line, bool& tooLong)
{
    line.clear();
    tooLong = false;
    char c = 0;
    while (in.get(c)) {
        if (c == '\n') {
            return true;
        }
        if (line.size() == kMostLineBytes) {
            tooLong = true;
            return false;
        }
        line.push_back(c);
    }
    return !line.empty();
}

class Expansion {
public:
    Expansion(AgentList& list, AgentListProblem& problem) : list_(list), problem_(problem) {}

    bool Items(std::string_view word)
    {
        size_t start = 0;
        for (;;) {
            const size_t comma = word.find(',', start);
            const std::string_view item = word.substr(
                start, comma == std::string_view::npos ? word.size() - start : comma - start);
            // An empty item has nothing to name: the refusal names the word.
            const bool added = (!item.empty() && item.front() == '@')
                                   ? File(item)
                                   : Item(item, 0, item.empty() ? word : item);
            if (!added) {
                return false;
            }
            if (comma == std::string_view::npos) {
                return true;
            }
            start = comma + 1;
        }
    }

private:
    bool Fail(AgentListFault fault, std::string_view item)
    {
        problem_.fault = fault;
        problem_.item.assign(item);
        return false;
    }

    bool Add(const AgentAddress& agent, uint32_t community, std::string_view item)
    {
        const bool fresh = agent.address.ss_family == AF_INET
                               ? seenIpv4_.insert(Ipv4Key(agent)).second
                               : seenIpv6_.insert(Ipv6Key(agent)).second;
        if (!fresh) {
            return true;
        }
        if (list_.agents.size() >= kMostListedAgents) {
            return Fail(AgentListFault::TooMany, item);
        }
        list_.agents.push_back(Listed(agent, community));
        return true;
    }

    // `named` is what a refusal names: the item, or the file and line.
    bool Item(std::string_view item, uint32_t community, std::string_view named)
    {
        if (item.empty()) {
            return Fail(AgentListFault::Malformed, named);
        }
        Span span{};
        bool looksLikeSpan = false;
        if (ParseSpan(item, span, looksLikeSpan)) {
            if (span.count > kMostListedAgents) {
                return Fail(AgentListFault::TooMany, named);
            }
            for (uint64_t i = 0; i < span.count; ++i) {
                if (!Add(Ipv4Agent(static_cast<uint32_t>(span.first + i), span.port), community,
                         named)) {
                    return false;
                }
            }
            return true;
        }
        if (looksLikeSpan || StartsLikeSpan(item)) {
            return Fail(AgentListFault::Malformed, named);
        }
        AgentAddress agent{};
        const std::string text(item);
        if (!ResolveAgentAddress(text.c_str(), agent)) {
            const uint32_t code = GetLastError();
            return Fail(code == ERROR_UNKNOWN_HOST ? AgentListFault::Unresolved
                                                   : AgentListFault::Malformed,
                        named);
        }
        return Add(agent, community, named);
    }

    uint32_t Community(std::string_view word)
    {
        for (uint32_t i = 1; i < list_.communities.size(); ++i) {
            if (list_.communities[i] == word) {
                return i;
            }
        }
        list_.communities.emplace_back(word);
        return static_cast<uint32_t>(list_.communities.size() - 1);
    }

    bool File(std::string_view item)
    {
        const std::string name(item.substr(1));
        std::ifstream in(name, std::ios::binary);
        if (name.empty() || !in) {
            return Fail(AgentListFault::Unreadable, item);
        }
        std::string line;
        bool tooLong = false;
        uint64_t number = 1;
        for (; ReadLine(in, line, tooLong); ++number) {
            if (!Line(line, name + " line " + std::to_string(number))) {
                return false;
            }
        }
        if (tooLong) {
            return Fail(AgentListFault::Malformed, name + " line " + std::to_string(number));
        }
        return in.eof() ? true : Fail(AgentListFault::Unreadable, item);
    }

    // One agent item and an optional community; blank and comment lines say nothing.
    bool Line(std::string_view line, const std::string& named)
    {
        line = line.substr(0, line.find('#'));
        std::vector<std::string_view> words;
        size_t at = 0;
        while (at < line.size()) {
            const size_t start = line.find_first_not_of(" \t\r", at);
            if (start == std::string_view::npos) {
                break;
            }
            const size_t end = line.find_first_of(" \t\r", start);
            words.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
            at = end == std::string_view::npos ? line.size() : end;
        }
        if (words.empty()) {
            return true;
        }
        const bool nested = words[0].front() == '@' || words[0].find(',') != std::string_view::npos;
        if (words.size() > 2 || nested) {
            return Fail(AgentListFault::Malformed, named);
        }
        return Item(words[0], words.size() == 2 ? Community(words[1]) : 0, named);
    }

    AgentList& list_;
    AgentListProblem& problem_;
    std::unordered_set<uint64_t> seenIpv4_;
    std::unordered_set<std::string> seenIpv6_;
};

}  // namespace

bool IsAgentList(std::string_view word)
{
    if (word.find(',') != std::string_view::npos || (!word.empty() && word.front() == '@')) {
        return true;
    }
    Span span{};
    bool looksLikeSpan = false;
    ParseSpan(word, span, looksLikeSpan);
    return looksLikeSpan;
}

bool ExpandAgentList(std::string_view word, AgentList& list, AgentListProblem& problem)
{
    try {
        Expansion expansion(list, problem);
        return expansion.Items(word);
    } catch (const std::bad_alloc&) {
        problem.fault = AgentListFault::OutOfMemory;
        problem.item.clear();
        return false;
    }
}

std::string AgentLabel(const ListedAgent& listed)
{
    const AgentAddress agent = AddressOf(listed);
    char host[NI_MAXHOST] = {};
    char port[NI_MAXSERV] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&agent.address), agent.length, host,
                    sizeof host, port, sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return "?";
    }
    if (agent.address.ss_family == AF_INET6) {
        return std::string("[") + host + "]:" + port;
    }
    return std::string(host) + ":" + port;
}
