// Version numbers are read here and in the models, nowhere above.
#include "message/dispatcher.h"

#include <new>

#include "message/community_model.h"
#include "message/user_model.h"
#include "security/usm_message.h"

namespace {

// The community versions' capabilities together: what reception prints.
MessageCapabilities Union(const MessageCapabilities& a, const MessageCapabilities& b)
{
    return {a.bulk || b.bulk,
            a.exceptions || b.exceptions,
            a.counter64 || b.counter64,
            a.v2ErrorStatuses || b.v2ErrorStatuses,
            a.informs || b.informs,
            a.reports || b.reports,
            a.userSecurity || b.userSecurity};
}

bool PeekVersion(const uint8_t* data, size_t size, int32_t& version)
{
    uint8_t pduType = 0;
    int32_t requestId = 0;
    return PeekMessageHeader(data, size, version, pduType, requestId);
}

}  // namespace

std::unique_ptr<MessageModel> MakeCommunityModel(int32_t version, const char* community)
{
    if (community == nullptr || !CommunityModel::IsCommunityVersion(version)) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return nullptr;
    }
    try {
        return std::make_unique<CommunityModel>(version, community);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

namespace {

std::unique_ptr<UserModel> NewUserModel(UsmUser&& user)
{
    std::unique_ptr<UserModel> model;
    try {
        model = std::make_unique<UserModel>();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!model->Init(std::move(user))) {
        return nullptr;
    }
    return model;
}

}  // namespace

std::unique_ptr<MessageModel> MakeUserModel(UsmUser&& user)
{
    return NewUserModel(std::move(user));
}

std::unique_ptr<MessageModel> MakeUserModel(UsmUser&& user, UsmPeerCache& keys, size_t userNumber)
{
    std::unique_ptr<UserModel> model = NewUserModel(std::move(user));
    if (model != nullptr) {
        model->ShareKeys(keys, userNumber);
    }
    return model;
}

const MessageCapabilities* CapabilitiesOfVersion(int32_t version)
{
    if (CommunityModel::IsCommunityVersion(version)) {
        return &CommunityModel::CapabilitiesOf(version);
    }
    return version == SNMP_VERSION_3 ? &UserModel::VersionCapabilities() : nullptr;
}

const char* WordOfVersion(int32_t version)
{
    switch (version) {
    case SNMP_VERSION_1:
        return "1";
    case SNMP_VERSION_2C:
        return "2c";  // RFC 3584 section 2's "SNMPv2c"
    case SNMP_VERSION_3:
        return "3";
    default:
        return nullptr;
    }
}

const MessageCapabilities& NotificationCapabilities()
{
    static const MessageCapabilities kReception =
        Union(Union(CommunityModel::CapabilitiesOf(SNMP_VERSION_1),
                    CommunityModel::CapabilitiesOf(SNMP_VERSION_2C)),
              UserModel::VersionCapabilities());
    return kReception;
}

NotificationDrop TakeNotificationApart(const uint8_t* data, size_t size, IncomingMessage& incoming,
                                       std::vector<uint8_t>& reply, UserNotifications* users)
{
    reply.clear();
    int32_t msgId = 0;
    if (PeekV3MsgId(data, size, msgId)) {
        return users == nullptr ? NotificationDrop::UnknownUser
                                : users->TakeApart(data, size, incoming, reply);
    }
    int32_t version = -1;
    if (!PeekVersion(data, size, version) || !CommunityModel::IsCommunityVersion(version)) {
        return NotificationDrop::Malformed;
    }
    CommunityModel model(version, std::string());
    if (!model.TakeApart(data, size, incoming)) {
        return NotificationDrop::Malformed;
    }
    if (incoming.pdu.pduType == PDU_INFORM && !PrepareInformAck(incoming, reply)) {
        FreeIncoming(incoming);
        return NotificationDrop::Malformed;
    }
    return NotificationDrop::None;
}

bool PrepareInformAck(const IncomingMessage& inform, std::vector<uint8_t>& out)
{
    if (!CommunityModel::IsCommunityVersion(inform.version) ||
        !CommunityModel::CapabilitiesOf(inform.version).informs) {
        return false;
    }
    CommunityModel model(inform.version, inform.securityName);
    SnmpPdu ack;
    ack.pduType = PDU_RESPONSE;
    ack.requestId = inform.pdu.requestId;
    ack.bindings = inform.pdu.bindings;  // borrowed
    int32_t msgId = 0;
    if (model.Prepare(ack, out, msgId) && out.size() <= kMaxSnmpMessageSize) {
        return true;
    }
    ack.errorStatus = SNMP_ERROR_TOOBIG;
    ack.bindings = {nullptr, 0};
    return model.Prepare(ack, out, msgId);
}
