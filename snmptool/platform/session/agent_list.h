// An agent word that names many agents: items separated by commas, each an
// agent as a single word names one, an IPv4 range ("192.0.2.1-192.0.2.254",
// "192.0.2.1-254"), a CIDR block ("192.0.2.0/24", its host addresses), either
// with one ":port" for all of its agents, or "@FILE" (one item a line, "#"
// comments, an optional second word: that agent's own community or user).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Larger lists are refused before anything is sent.
constexpr size_t kMostListedAgents = 1000000;

// The agent's socket address as its bytes, so that the tool sees no system
// header and a long list stays small (session/listed_address.h reads it).
struct ListedAgent {
    std::array<uint8_t, 28> endpoint{};
    uint8_t endpointLength = 0;
    // Index into AgentList::communities; 0 is the command's own community.
    uint32_t community = 0;
};

struct AgentList {
    std::vector<ListedAgent> agents;  // in list order, each address and port once
    std::vector<std::string> communities{std::string()};
};

enum class AgentListFault {
    None,
    Malformed,   // the item is no agent, range, block or file line
    Unresolved,  // the item's host name does not resolve
    Unreadable,  // the file cannot be read
    TooMany,     // more than kMostListedAgents agents
    OutOfMemory,
};

struct AgentListProblem {
    AgentListFault fault = AgentListFault::None;
    std::string item;  // the item as written, or "FILE line N"
};

// Whether the word is a list rather than one agent: it holds a comma, starts
// with "@", or is a range or a block. Any other word names one agent as before.
bool IsAgentList(std::string_view word);

// Expands the list; duplicates (same address and port) keep their first place
// and community. False with the problem told.
bool ExpandAgentList(std::string_view word, AgentList& list, AgentListProblem& problem);

// "192.0.2.1:161" or "[2001:db8::1]:161", numeric, as a result block heads it.
std::string AgentLabel(const ListedAgent& agent);
