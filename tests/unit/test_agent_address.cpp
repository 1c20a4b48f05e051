// Agent texts: how they split, what they resolve to, and how a session refuses
// the ones it cannot use.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "session/agent_address.h"
#include "snmp_api.h"

namespace {

struct AddressCase {
    const char* text;
    uint32_t error;  // 0: resolves
    int family;
    const char* address;  // as inet_ntop writes it
    uint16_t port;
};

std::string AddressText(const AgentAddress& resolved, uint16_t& port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (resolved.address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(resolved.address);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(resolved.address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    return text;
}

TEST(AgentText, ResolvesOnceOrSaysWhy)
{
    constexpr uint32_t kBad = ERROR_BAD_ARGUMENT;
    const AddressCase cases[] = {
        {"127.0.0.1:16161", 0, AF_INET, "127.0.0.1", 16161},
        {"127.0.0.2", 0, AF_INET, "127.0.0.2", 161},
        {"127.0.0.1:00161", 0, AF_INET, "127.0.0.1", 161},
        {"127.0.0.1:65535", 0, AF_INET, "127.0.0.1", 65535},
        {"localhost:1234", 0, AF_INET, "127.0.0.1", 1234},
        {"[::1]:16161", 0, AF_INET6, "::1", 16161},
        {"[::1]", 0, AF_INET6, "::1", 161},
        {"::1", 0, AF_INET6, "::1", 161},
        {"fe80::1:2", 0, AF_INET6, "fe80::1:2", 161},
        // A zone is taken off the address, by interface name or number.
        {"[fe80::1%lo]:16161", 0, AF_INET6, "fe80::1", 16161},
        {"fe80::1%1", 0, AF_INET6, "fe80::1", 161},
        {"[::1%lo]", 0, AF_INET6, "::1", 161},
        {"[fe80::1%no-such-if0]:161", ERROR_UNKNOWN_ZONE, 0, "", 0},
        {"[fe80::1%]:161", ERROR_UNKNOWN_ZONE, 0, "", 0},
        {"host%lo", ERROR_UNKNOWN_HOST, 0, "", 0},
        {"no-such-host.invalid", ERROR_UNKNOWN_HOST, 0, "", 0},
        {"no-such-host.invalid:161", ERROR_UNKNOWN_HOST, 0, "", 0},
        // Brackets and colons promise an IPv6 literal, never a name.
        {"[localhost]:161", kBad, 0, "", 0},
        {"[127.0.0.1]:161", kBad, 0, "", 0},
        {"1:2:3:zz", kBad, 0, "", 0},
        // Ports: digits only, 1 to 65535, never empty.
        {"host:", kBad, 0, "", 0},
        {"host:0", kBad, 0, "", 0},
        {"host:65536", kBad, 0, "", 0},
        {"host:99999999999999999999", kBad, 0, "", 0},
        {"host:+161", kBad, 0, "", 0},
        {"host:-1", kBad, 0, "", 0},
        {"host: 161", kBad, 0, "", 0},
        {"host:16a", kBad, 0, "", 0},
        {"[::1]:", kBad, 0, "", 0},
        {"[::1]:70000", kBad, 0, "", 0},
        // Hosts and brackets.
        {"", kBad, 0, "", 0},
        {":161", kBad, 0, "", 0},
        {"[::1", kBad, 0, "", 0},
        {"::1]", kBad, 0, "", 0},
        {"[]:161", kBad, 0, "", 0},
        {"[::1]161", kBad, 0, "", 0},
    };
    for (const AddressCase& c : cases) {
        SCOPED_TRACE(c.text);
        AgentAddress resolved;
        SetLastError(0);
        bool ok = ResolveAgentAddress(c.text, resolved);
        ASSERT_EQ(ok, c.error == 0) << "last error " << GetLastError();
        if (!ok) {
            EXPECT_EQ(GetLastError(), c.error);
            continue;
        }
        ASSERT_EQ(resolved.address.ss_family, c.family);
        uint16_t port = 0;
        EXPECT_EQ(AddressText(resolved, port), c.address);
        EXPECT_EQ(port, c.port);
    }
    AgentAddress zoned;
    ASSERT_TRUE(ResolveAgentAddress("[fe80::1%1]:161", zoned));
    EXPECT_EQ(reinterpret_cast<const sockaddr_in6&>(zoned.address).sin6_scope_id, 1u);
}

TEST(AgentText, SameEndpointNeedsAddressPortAndFamily)
{
    AgentAddress agent;
    ASSERT_TRUE(ResolveAgentAddress("127.0.0.1:16161", agent));
    auto check = [&](const char* text) {
        AgentAddress other;
        EXPECT_TRUE(ResolveAgentAddress(text, other)) << text;
        return IsSameEndpoint(agent, other.address, other.length);
    };
    EXPECT_TRUE(check("127.0.0.1:16161"));
    EXPECT_FALSE(check("127.0.0.1:16162"));
    EXPECT_FALSE(check("127.0.0.2:16161"));
    EXPECT_FALSE(check("[::1]:16161"));
    EXPECT_FALSE(check("[::ffff:127.0.0.1]:16161"));
    // A source address cut short is nobody's.
    EXPECT_FALSE(IsSameEndpoint(agent, agent.address, sizeof(sockaddr_in) - 1));
}

}  // namespace
