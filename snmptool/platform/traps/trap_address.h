// Where trap reception listens: UDP port 162 on every local address, or the
// place that the environment variable MIBCLI_TRAP_ADDRESS names.
#pragma once

#include "transport/socket_types.h"

#include <cstdint>

constexpr const char* kTrapAddressVariable = "MIBCLI_TRAP_ADDRESS";
// RFC 1157 section 4: traps go to UDP port 162.
constexpr uint16_t kTrapPort = 162;

struct TrapAddress {
    // True: every local address, IPv6 and IPv4 alike (the port alone was given).
    bool everyAddress;
    uint16_t port;
    // The one address to bind when everyAddress is false.
    sockaddr_storage address;
    socklen_t addressLength;
};

// Reads the variable's value: null or empty means port 162 on every address;
// "PORT", "A.B.C.D:PORT" and "[IPv6]:PORT" (numeric, port 0 to 65535; 0 lets
// the system pick one) name another. False for anything else.
bool ParseTrapAddress(const char* text, TrapAddress* address);
