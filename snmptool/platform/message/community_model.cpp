// Versions 1 and 2c: the community travels in the clear and is the whole of
// the security (RFC 1157 section 3.2.5); any community is taken apart, and
// the session compares it.
#include "message/community_model.h"

#include <utility>

namespace {

constexpr MessageCapabilities kVersion1 = {false, false, false, false, false, false, false};
// RFC 3416 for the PDUs; no Report-PDU is defined for the community versions
// (RFC 3416 section 4.2.8 leaves it to the message model).
constexpr MessageCapabilities kVersion2c = {true, true, true, true, true, false, false};

}  // namespace

bool CommunityModel::IsCommunityVersion(int32_t version)
{
    return version == SNMP_VERSION_1 || version == SNMP_VERSION_2C;
}

const MessageCapabilities& CommunityModel::CapabilitiesOf(int32_t version)
{
    return version == SNMP_VERSION_1 ? kVersion1 : kVersion2c;
}

CommunityModel::CommunityModel(int32_t version, std::string community)
{
    outgoing_.version = version;
    outgoing_.community = std::move(community);
}

const MessageCapabilities& CommunityModel::Capabilities() const
{
    return CapabilitiesOf(outgoing_.version);
}

bool CommunityModel::Prepare(const SnmpPdu& pdu, std::vector<uint8_t>& out, int32_t& msgId)
{
    outgoing_.pdu = pdu;  // borrowed while encoded; never freed here
    const bool encoded = EncodeMessage(outgoing_, out);
    outgoing_.pdu = SnmpPdu{};
    msgId = pdu.requestId;
    return encoded;
}

bool CommunityModel::Peek(const uint8_t* data, size_t size, MessageHeader& header) const
{
    int32_t version = -1;
    return PeekMessageHeader(data, size, version, header.pduType, header.msgId) &&
           version == outgoing_.version;
}

bool CommunityModel::TakeApart(const uint8_t* data, size_t size, IncomingMessage& incoming)
{
    SnmpMessage message;
    if (!DecodeMessage(data, size, message)) {
        return false;
    }
    if (message.version != outgoing_.version) {
        FreeMessage(message);
        return false;
    }
    incoming.version = message.version;
    incoming.msgId = message.pdu.requestId;
    incoming.securityName = std::move(message.community);
    incoming.level = SecurityLevel::NoAuthNoPriv;
    incoming.pdu = message.pdu;
    return true;
}

bool CommunityModel::UnderRequestSecurity(const IncomingMessage& incoming) const
{
    return incoming.version == outgoing_.version && incoming.securityName == outgoing_.community;
}
