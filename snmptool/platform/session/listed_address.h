// The socket address of a listed agent, and back.
#pragma once

#include <cstring>

#include "session/agent_address.h"
#include "session/agent_list.h"

static_assert(sizeof(sockaddr_in6) <= sizeof(ListedAgent::endpoint), "an IPv6 address fits");

inline AgentAddress AddressOf(const ListedAgent& agent)
{
    AgentAddress address{};
    std::memcpy(&address.address, agent.endpoint.data(), agent.endpointLength);
    address.length = agent.endpointLength;
    return address;
}

inline ListedAgent Listed(const AgentAddress& address, uint32_t community)
{
    ListedAgent agent;
    agent.endpointLength = static_cast<uint8_t>(address.length);
    std::memcpy(agent.endpoint.data(), &address.address, address.length);
    agent.community = community;
    return agent;
}
