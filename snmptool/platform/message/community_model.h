// The community-based models of versions 1 and 2c (RFC 1157 section 4,
// RFC 1901, RFC 3584): the PDU in a message of version and community.
#pragma once

#include <string>

#include "ber/ber_codec.h"
#include "message/message_model.h"

class CommunityModel final : public MessageModel {
public:
    // False for a version that is not a community one.
    static bool IsCommunityVersion(int32_t version);
    static const MessageCapabilities& CapabilitiesOf(int32_t version);

    CommunityModel(int32_t version, std::string community);

    const MessageCapabilities& Capabilities() const override;
    bool Prepare(const SnmpPdu& pdu, std::vector<uint8_t>& out, int32_t& msgId) override;
    bool Peek(const uint8_t* data, size_t size, MessageHeader& header) const override;
    bool TakeApart(const uint8_t* data, size_t size, IncomingMessage& incoming) override;
    bool UnderRequestSecurity(const IncomingMessage& incoming) const override;

private:
    // Holds the version and community for good; each datagram prepared
    // borrows the PDU's fields only while it is encoded, so that a walk
    // allocates nothing here.
    SnmpMessage outgoing_;
};
