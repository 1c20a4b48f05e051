// Many agents at once over a few sockets (one per address family): every
// agent's requests go out through its message model, up to a window of them
// in flight, each with its own time-out and retries, so that a dead agent
// costs its own time and never another's. An answer is matched by the
// agent's address and port and by a request ID that no other request of the
// fleet carries, under every check a single request makes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "message/message_model.h"
#include "session/agent_list.h"

struct FleetSettings {
    std::chrono::milliseconds timeout{0};
    int32_t retries = 0;
    uint32_t window = 512;  // the most requests in flight
    // The most new requests a second (retries count towards it); 0: no cap.
    uint32_t ratePerSecond = 0;
};

// One request of an agent's conversation. The bindings stay the caller's and
// must live until that agent's Answered or Failed.
struct FleetAsk {
    uint8_t pduType;  // GET, GETNEXT, SET, or GETBULK where the version has it
    const SnmpVarBindList* bindings;
    int32_t nonRepeaters;    // GETBULK only
    int32_t maxRepetitions;  // GETBULK only
};

// What the caller asks of each agent, and what it is told back.
class FleetConversation {
public:
    virtual ~FleetConversation() = default;
    // The agent's next request, or false when it has nothing more to ask.
    virtual bool NextRequest(size_t agent, FleetAsk& ask) = 0;
    // The agent's Response; the callee may take the bindings (leaving them
    // null). A GETBULK answer may hold more than the request allowed.
    virtual void Answered(size_t agent, SnmpPdu& answer) = 0;
    // The agent's conversation ended with the code a single request reports.
    virtual void Failed(size_t agent, uint32_t code) = 0;
    // Checked between batches: true ends the exchange, abandoning what is in flight.
    virtual bool Stopping()
    {
        return false;
    }
};

// The message models of the fleet: one per community in versions 1 and 2c,
// one per agent in version 3 (its engine, its keys), made when the agent
// starts and released when it is done, so that only the window's are alive.
class FleetModels {
public:
    virtual ~FleetModels() = default;
    // The agent's model, the same until Release; null with the last error set.
    virtual MessageModel* ModelFor(size_t agent) = 0;
    virtual void Release(size_t /*agent*/) {}
    // A model of the fleet's version, to read any datagram's header with.
    virtual MessageModel& Reader() = 0;
};

// Asks every agent of the list, starting them in list order, discovering
// each one's engine first where its model needs it. False (last error set)
// when the exchange could not wait; each agent's own failure goes to Failed.
bool ExchangeWithFleet(const AgentList& list, FleetModels& models, const FleetSettings& settings,
                       FleetConversation& conversation);
