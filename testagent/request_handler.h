// Answers GetRequest, GetNextRequest and SetRequest as RFC 1157 section 4.1
// lays out, over the object store; in SNMPv2c also GetBulkRequest, with the
// exceptions of RFC 3416 section 4.2 in place of noSuchName.
#pragma once

#include <string>

#include "ber/ber_codec.h"
#include "object_store.h"
#include "reply.h"
#include "snmp_api.h"

struct HandlerSettings {
    std::string readCommunity = "public";
    std::string writeCommunity = "private";
    size_t maxSize = 1472;
};

// What a community version can do; null for a version without communities,
// whose messages the agent takes for malformed.
const MessageCapabilities* CommunityCapabilities(int32_t version);

// The request's bindings as names and values, for the answers that echo them.
std::vector<AgentObject> EchoBindings(const SnmpMessage& request);

// Builds the answer to a decoded request whose community may read (the caller
// drops the others). Applies a SET to the store when it succeeds as a whole.
Reply AnswerRequest(const SnmpMessage& request, ObjectStore& store,
                    const HandlerSettings& settings);

// Replaces `reply` by a tooBig answer when its encoding exceeds the largest
// answer (RFC 1157 section 4.1.2); a GETBULK answer loses bindings from its end
// instead (RFC 3416 section 4.2.3). False when it cannot be encoded at all.
bool EncodeWithinLimit(const SnmpMessage& request, Reply& reply, const HandlerSettings& settings,
                       std::vector<uint8_t>& out);
