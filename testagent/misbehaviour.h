// The ways the agent can be told to misbehave (--behave), each one a fault that
// a manager must survive. testagent/README.md describes each mode.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "agent_value.h"
#include "reply.h"

struct Misbehaviour {
    bool silent = false;
    int delayMs = 0;
    bool wrongIdFirst = false;
    bool otherPortFirst = false;
    bool malformedFirst = false;
    uint32_t dropFirst = 0;
    // 0: off; kEvery: every GETNEXT; N: only the N-th GETNEXT received.
    uint32_t stuckGetnext = 0;
    uint32_t backwardsGetnext = 0;
    std::vector<std::pair<Oid, int32_t>> errorAt;
    bool truncated = false;
    size_t oversized = 0;
    bool nested = false;
    bool lengthLying = false;
    bool wrongPduType = false;
    bool extraBinding = false;
    // GETBULK asking for more repetitions than this is answered tooBig; 0: off.
    uint32_t tooBigBulk = 0;
    bool wrongVersion = false;
    bool missingBinding = false;
    uint32_t junkFloodFirst = 0;

    static constexpr uint32_t kEvery = UINT32_MAX;
};

// Adds one --behave MODE. False with `why` for a mode it does not know.
bool ParseMisbehaviour(const std::string& mode, Misbehaviour& behaviour, std::string& why);

// The error status that error-at asks for a request naming one of `names`, or -1.
int32_t ErrorAtStatus(const Misbehaviour& behaviour, const std::vector<AgentObject>& names);

// The bad datagrams that go before an answer (junk, a wrong request ID, a
// malformed one), in sending order. `answer` is the right answer, encoded.
std::vector<std::vector<uint8_t>> DatagramsBefore(const Misbehaviour& behaviour, const Reply& reply,
                                                  const std::string& community,
                                                  const std::vector<uint8_t>& answer);

// The right answer's shape under `requestId`, every value the string "impostor":
// what a manager shows if it takes a datagram it should have refused.
std::vector<uint8_t> ImpostorAnswer(const Reply& reply, const std::string& community,
                                   int32_t requestId);

// Bends the right answer into the hostile one that goes instead of it (truncated,
// length-lying, nested); unchanged when no such mode is on.
std::vector<uint8_t> BendAnswer(const Misbehaviour& behaviour, const std::vector<uint8_t>& answer);

// Pads the first binding's value so that the whole answer is `size` bytes.
bool PadAnswer(Reply& reply, const std::string& community, size_t size, std::vector<uint8_t>& out);

// Bytes that are no SNMP message at all.
std::vector<uint8_t> JunkDatagram(uint32_t number);
