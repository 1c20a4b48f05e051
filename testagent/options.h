// The command lines of the agent's two modes (testagent/README.md).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "agent_value.h"
#include "many_agents.h"
#include "misbehaviour.h"
#include "request_handler.h"

struct ServeOptions {
    std::string listen = "127.0.0.1:0";
    std::string objectsFile;
    std::string logFile;
    Oid tableBase;
    uint32_t tableRows = 0;
    HandlerSettings handler;
    Misbehaviour behaviour;
    ManyAgents many;  // --agents, --dead, --slow
};

struct TrapBinding {
    Oid name;
    AgentValue value;
};

struct TrapOptions {
    std::string to;
    int32_t version = SNMP_VERSION_1;
    std::string community = "public";  // version 3: the user's name
    // Version 3: SHA and AES-128 passphrases; without them the level is lower.
    std::string authPhrase;
    std::string privPhrase;
    Oid enterprise = {1, 3, 6, 1, 4, 1, 99999};
    std::vector<uint8_t> agentAddress = {127, 0, 0, 1};
    int32_t generic = SNMP_TRAP_ENTERPRISESPECIFIC;
    int32_t specific = 1;
    uint32_t uptime = 0;
    uint32_t count = 1;
    uint32_t junk = 0;
    std::vector<TrapBinding> bindings;
};

// `args` are the words after the mode word. False with `why` on any error.
bool ParseServeOptions(const std::vector<std::string>& args, ServeOptions& options,
                       std::string& why);
bool ParseTrapOptions(const std::vector<std::string>& args, TrapOptions& options, std::string& why);
