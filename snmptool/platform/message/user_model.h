// The version 3 model (RFC 3412 section 7) with the user-based security
// model (RFC 3414) of one user towards one agent's engine.
#pragma once

#include "message/message_model.h"
#include "security/usm_engine.h"
#include "security/usm_peer_cache.h"

// A message the user-based model took apart, as the dispatcher hands it on
// (the PDU's bindings move with it).
void IncomingFromUsm(UsmIncoming& taken, IncomingMessage& incoming);

class UserModel final : public MessageModel {
public:
    static const MessageCapabilities& VersionCapabilities();

    // False (last error set) when the peer cannot be made: no random numbers.
    bool Init(UsmUser&& user);
    // The agent's keys are then taken from `keys`, for the caller's user
    // number `user`, which must outlive the model.
    void ShareKeys(UsmPeerCache& keys, size_t user)
    {
        keys_ = &keys;
        keysUser_ = user;
    }
    UsmPeer& Peer()
    {
        return peer_;
    }

    const MessageCapabilities& Capabilities() const override;
    bool Prepare(const SnmpPdu& pdu, std::vector<uint8_t>& out, int32_t& msgId) override;
    bool Peek(const uint8_t* data, size_t size, MessageHeader& header) const override;
    bool TakeApart(const uint8_t* data, size_t size, IncomingMessage& incoming) override;
    bool UnderRequestSecurity(const IncomingMessage& incoming) const override;

    bool SetContext(std::vector<uint8_t> engineId, std::string name) override;
    bool NeedsDiscovery() const override;
    bool PrepareDiscovery(std::vector<uint8_t>& out, int32_t& msgId) override;
    uint32_t LearnEngine(const IncomingMessage& report) override;
    bool ProvesReport(const IncomingMessage& report) const override;
    uint32_t ReportCode(const IncomingMessage& report) const override;
    ReportRemedy RemedyFor(const IncomingMessage& report, uint32_t code) override;

private:
    UsmPeer peer_;
    UsmPeerCache* keys_ = nullptr;  // null: the keys are localised here
    size_t keysUser_ = 0;
    std::vector<uint8_t> contextEngineId_;  // empty: the agent's engine
    std::string contextName_;
};
