// The message-processing models (RFC 3412 section 4.2): one per message
// version, behind one interface, so that requests, walks and trap reception
// pass every message through the same steps whatever its version. A model
// prepares the datagram that carries a PDU and takes a received datagram
// apart into its version, security, context and PDU; which datagram answers
// which request is the session's to decide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ber/pdu_codec.h"
#include "message/capabilities.h"
#include "security/usm_engine.h"

// A received datagram taken apart.
struct IncomingMessage {
    int32_t version = 0;
    // What pairs an answer with its request: msgID in version 3, the PDU's
    // request ID in the community versions.
    int32_t msgId = 0;
    std::string securityName;  // the community, or the user's name
    SecurityLevel level = SecurityLevel::NoAuthNoPriv;
    std::vector<uint8_t> contextEngineId;
    std::string contextName;
    // Version 3: the agent's engine as the message names it (RFC 3414 section 4).
    std::vector<uint8_t> engineId;
    int32_t engineBoots = 0;
    int32_t engineTime = 0;
    SnmpPdu pdu;  // owns its bindings (FreePdu)
};

// The header of a datagram, read without allocating.
struct MessageHeader {
    int32_t msgId;
    uint8_t pduType;  // 0 when the PDU is encrypted
};

// What to do about a Report-PDU that refused a request.
enum class ReportRemedy {
    GiveUp,
    Resend,      // the model has adopted what the report told (a new engine time)
    Rediscover,  // the engine ID is no longer the agent's
};

class MessageModel {
public:
    virtual ~MessageModel() = default;

    virtual const MessageCapabilities& Capabilities() const = 0;

    // Prepares the datagram carrying `pdu` (a request, response, trap or
    // inform) into `out`; `msgId` tells what an answer will be paired by.
    // False with the last error set.
    virtual bool Prepare(const SnmpPdu& pdu, std::vector<uint8_t>& out, int32_t& msgId) = 0;

    // False for a datagram that is not a message of this model's version.
    virtual bool Peek(const uint8_t* data, size_t size, MessageHeader& header) const = 0;

    // Takes a datagram apart; false for one to drop (malformed, another
    // version, unproven).
    virtual bool TakeApart(const uint8_t* data, size_t size, IncomingMessage& incoming) = 0;

    // Whether a message came under the security the requests are sent with
    // (RFC 3412 section 7.2 step 12: the same community, or the same user,
    // engine and level).
    virtual bool UnderRequestSecurity(const IncomingMessage& incoming) const = 0;

    // The context of the requests (RFC 3411 section 3.3): contextEngineID
    // (empty: the agent's own engine) and contextName. False (last error
    // ERROR_BAD_ARGUMENT) for a model without contexts.
    virtual bool SetContext(std::vector<uint8_t> engineId, std::string name);

    // Engine discovery (RFC 3414 section 4) where the model needs it.
    virtual bool NeedsDiscovery() const
    {
        return false;
    }
    virtual bool PrepareDiscovery(std::vector<uint8_t>& out, int32_t& msgId);
    // 0 once the answer to the discovery taught the engine, or the code of the failure.
    virtual uint32_t LearnEngine(const IncomingMessage& report);

    // Whether a report is as authenticated as the requests it may answer.
    virtual bool ProvesReport(const IncomingMessage& /*report*/) const
    {
        return true;
    }
    // The code naming what a report says (ERROR_USM_*), and what to do about it.
    virtual uint32_t ReportCode(const IncomingMessage& report) const;
    virtual ReportRemedy RemedyFor(const IncomingMessage& report, uint32_t code);
};

void FreeIncoming(IncomingMessage& incoming);
