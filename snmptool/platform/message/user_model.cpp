// Version 3 on the user-based security model: the security processing is
// security/usm_engine's; this model hands it each message and turns its
// reports into what the session does next.
#include "message/user_model.h"

#include <utility>

namespace {

// Everything of version 2c, and the user-based model's reports.
constexpr MessageCapabilities kVersion3 = {true, true, true, true, true, true, true};

}  // namespace

const MessageCapabilities& UserModel::VersionCapabilities()
{
    return kVersion3;
}

bool UserModel::Init(UsmUser&& user)
{
    return UsmPeerInit(peer_, std::move(user));
}

const MessageCapabilities& UserModel::Capabilities() const
{
    return kVersion3;
}

bool UserModel::Prepare(const SnmpPdu& pdu, std::vector<uint8_t>& out, int32_t& msgId)
{
    msgId = UsmTakeMsgId(peer_);
    const std::vector<uint8_t>& context =
        contextEngineId_.empty() ? peer_.engineId : contextEngineId_;
    return UsmPrepareInContext(peer_, msgId, pdu, out, context, contextName_);
}

bool UserModel::SetContext(std::vector<uint8_t> engineId, std::string name)
{
    contextEngineId_ = std::move(engineId);
    contextName_ = std::move(name);
    return true;
}

bool UserModel::Peek(const uint8_t* data, size_t size, MessageHeader& header) const
{
    header.pduType = 0;
    return PeekV3MsgId(data, size, header.msgId);
}

void IncomingFromUsm(UsmIncoming& taken, IncomingMessage& incoming)
{
    incoming.version = SNMP_VERSION_3;
    incoming.msgId = taken.message.msgId;
    incoming.securityName = std::move(taken.message.userName);
    incoming.level = taken.level;
    incoming.contextEngineId = std::move(taken.contextEngineId);
    incoming.contextName = std::move(taken.contextName);
    incoming.engineId = std::move(taken.message.engineId);
    incoming.engineBoots = taken.message.engineBoots;
    incoming.engineTime = taken.message.engineTime;
    incoming.pdu = taken.pdu;
}

bool UserModel::TakeApart(const uint8_t* data, size_t size, IncomingMessage& incoming)
{
    UsmIncoming taken;
    if (UsmTakeApart(peer_, data, size, taken) != UsmVerdict::Taken) {
        return false;
    }
    IncomingFromUsm(taken, incoming);
    return true;
}

bool UserModel::UnderRequestSecurity(const IncomingMessage& incoming) const
{
    return incoming.level == peer_.level && peer_.discovered && incoming.engineId == peer_.engineId;
}

bool UserModel::NeedsDiscovery() const
{
    return !peer_.discovered;
}

bool UserModel::PrepareDiscovery(std::vector<uint8_t>& out, int32_t& msgId)
{
    UsmForgetEngine(peer_);
    msgId = UsmTakeMsgId(peer_);
    return UsmPrepareDiscovery(peer_, msgId, out);
}

uint32_t UserModel::LearnEngine(const IncomingMessage& report)
{
    if (report.engineId.empty()) {
        return ERROR_USM_NO_ENGINE;
    }
    if (keys_ != nullptr) {
        UsmAdoptClock(peer_, report.engineBoots, report.engineTime);
        if (!keys_->LocaliseTo(peer_, keysUser_, report.engineId)) {
            return ERROR_USM_CRYPTO;
        }
        return 0;
    }
    if (!UsmAdoptEngine(peer_, report.engineId, report.engineBoots, report.engineTime)) {
        return ERROR_USM_CRYPTO;
    }
    return 0;
}

bool UserModel::ProvesReport(const IncomingMessage& report) const
{
    return report.level != SecurityLevel::NoAuthNoPriv ||
           peer_.level == SecurityLevel::NoAuthNoPriv;
}

uint32_t UserModel::ReportCode(const IncomingMessage& report) const
{
    return UsmReportCode(report.pdu);
}

ReportRemedy UserModel::RemedyFor(const IncomingMessage& report, uint32_t code)
{
    if (code == ERROR_USM_NOT_IN_TIME_WINDOW && report.engineId == peer_.engineId &&
        report.level != SecurityLevel::NoAuthNoPriv) {
        // RFC 3414 section 4: the report carries the agent's boots and time;
        // section 3.2 step 7 sends it authenticated, and only such a one may
        // move our clock.
        UsmAdoptClock(peer_, report.engineBoots, report.engineTime);
        return ReportRemedy::Resend;
    }
    return code == ERROR_USM_UNKNOWN_ENGINE ? ReportRemedy::Rediscover : ReportRemedy::GiveUp;
}
