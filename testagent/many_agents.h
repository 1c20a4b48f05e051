// Many agents on one port (serve --agents N): agent K answers at the K-th
// address from the listen address on, within 127.0.0.0/8, and every answer
// leaves from the address its request was sent to (IP_PKTINFO, Linux), so a
// manager sees N agents. A share of them are dead (never answer) and a share
// slow (answer late, without holding up the others).
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

#include "object_store.h"

struct ManyAgents {
    uint32_t first = 0;  // the first agent's address, host order
    uint32_t count = 0;  // 0: one agent, as without --agents
    uint32_t deadPercent = 0;
    uint32_t slowPercent = 0;
    uint32_t slowMs = 0;
};

// A socket on every local IPv4 address at `port` (0 picks one) that tells each
// datagram's destination; -1 with `why` on failure.
int BindManyAgents(uint16_t port, std::string& why);

// One waiting datagram and the address it was sent to; false when none waits.
bool ReceiveWithDestination(int fd, std::vector<uint8_t>& buffer, size_t& size,
                            sockaddr_storage& from, socklen_t& fromLength, in_addr& to);
void SendFromAddress(int fd, const std::vector<uint8_t>& bytes, const sockaddr_storage& to,
                     socklen_t toLength, in_addr from);

// The index of the agent at `address`; false for an address outside the range.
bool AgentIndexOf(const ManyAgents& agents, in_addr address, uint32_t& index);
// Whether agent `index` is among `percent` of them, spread evenly over the range.
bool InShare(uint32_t index, uint32_t percent);
// sysDescr.0, sysName.0 and sysUpTime.0 of the agent at `address`.
void NameAgent(ObjectStore& store, in_addr address, uint32_t upTicks);
