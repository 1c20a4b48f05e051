// Loopback UDP addresses and sockets for the agent and the trap sender.
#pragma once

#include <cstdint>
#include <string>

#include "transport/socket_types.h"

struct Endpoint {
    sockaddr_storage address{};
    socklen_t length = 0;
};

// "127.0.0.1:PORT", "[::1]:PORT" (any 127.0.0.0/8 address). Only loopback
// addresses are accepted: the agent is a test fixture, never a service.
bool ParseLoopbackEndpoint(const std::string& text, Endpoint& endpoint, std::string& why);

// A UDP socket bound to `endpoint` (port 0 picks one); -1 with `why` on failure.
int BindUdp(const Endpoint& endpoint, std::string& why);
// The loopback address of `endpoint`'s family, with port 0.
Endpoint AnyPortLike(const Endpoint& endpoint);
