// The agent's address: the text a user gives ("127.0.0.1:16161", "[::1]:16161",
// "localhost") split into host and port, and resolved once to a socket address.
#pragma once

#include "transport/socket_types.h"

#include <cstdint>
#include <string>
#include <string_view>

// The port an agent listens on when the text names none (RFC 1157 section 4).
constexpr uint16_t kDefaultAgentPort = 161;

struct AgentAddress {
    sockaddr_storage address;
    socklen_t length;
};

// The two halves of a host-and-port text. `literalOnly` tells that the host
// came in brackets or held more than one colon, so it can only be an IPv6
// literal; `portGiven` that the text named a port.
struct AgentText {
    std::string host;
    uint16_t port = kDefaultAgentPort;
    bool literalOnly = false;
    bool portGiven = false;
};

// Decimal digits only (no sign, no blanks), 0 to 65535: the port of an agent
// text and of the trap address alike.
bool ParsePortNumber(std::string_view text, uint16_t& port);

// Splits a host-and-port text (an agent's, and the trap address's). False for
// an empty host, a port that is empty, not all digits or above 65535, a
// bracket without its partner, or characters after the closing bracket other
// than ":port". Port 0 passes here; an agent refuses it when resolved.
bool SplitAgentText(std::string_view text, AgentText& parts);

// Splits and resolves the text: numeric forms first, then the system's
// resolver, taking an IPv4 address over an IPv6 one when a name has both.
// On failure sets the last error: ERROR_BAD_PORT for a port that is not a
// number from 1 to 65535, ERROR_BAD_ARGUMENT for any other malformed text,
// ERROR_UNKNOWN_HOST for a name that does not resolve, ERROR_NOT_ENOUGH_MEMORY
// when the resolver ran out of memory.
bool ResolveAgentAddress(const char* text, AgentAddress& resolved);

// True when `from` is the same address and port as `agent` (same family).
bool IsSameEndpoint(const AgentAddress& agent, const sockaddr_storage& from, socklen_t fromLength);
