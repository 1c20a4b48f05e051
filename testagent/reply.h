// An answer as the agent builds it, and its encoding through the codec.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "object_store.h"

struct Reply {
    int32_t version = SNMP_VERSION_1;  // the request's, for an answer
    int32_t requestId = 0;
    int32_t errorStatus = SNMP_ERROR_NOERROR;
    int32_t errorIndex = 0;
    std::vector<AgentObject> bindings;  // name and value of each binding
};

// Codec views of `bindings`: pointers into them, which must outlive the views.
std::vector<SnmpVarBind> BindingViews(const std::vector<AgentObject>& bindings);

// After the codec encoded `bindings` into `out`, gives raw values their own tag
// (the codec wrote them as OCTET STRINGs of the same bytes). False when the
// message does not have the expected shape.
bool PatchRawTags(const std::vector<AgentObject>& bindings, std::vector<uint8_t>& out);

// Encodes `reply` as a message of its version and `pduType` under `community`
// (an SNMPv2-Trap-PDU too). Raw values go out with their own tag and bytes.
// False when the codec refuses it.
bool EncodeReply(const Reply& reply, const std::string& community, uint8_t pduType,
                 std::vector<uint8_t>& out);
