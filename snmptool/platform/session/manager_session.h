// A manager session as the layer holds it: one UDP socket towards one agent,
// and the message model of the session's version.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "message/message_model.h"
#include "session/agent_address.h"

struct SnmpMgrSession {
    int socketFd = -1;
    int armedReceiveMs = 0;  // the socket's receive time-out (UdpReceive)
    bool connected = false;  // the socket is connected to the agent
    AgentAddress agent;
    std::chrono::milliseconds timeout{0};
    int32_t retries = 0;
    std::unique_ptr<MessageModel> model;
    // Kept from one request to the next, so that a walk allocates nothing here
    // beyond what decoding the answers needs.
    std::vector<uint8_t> sendBuffer;
    std::vector<uint8_t> receiveBuffer;
};
