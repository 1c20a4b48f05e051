// A receiver of version 3 notifications: the sender of a trap is the
// authoritative engine, so the user's keys are localised to the engine the
// trap names; we are the authoritative engine of the informs sent to us.
#include "message/user_notifications.h"

#include <algorithm>
#include <new>

#include "message/user_model.h"
#include "security/usm_message.h"

namespace {

// usmStats (RFC 3414 section 5): the counters a Report-PDU names.
constexpr uint32_t kUnsupportedSecLevels = 1;
constexpr uint32_t kNotInTimeWindows = 2;
constexpr uint32_t kUnknownUserNames = 3;
constexpr uint32_t kUnknownEngineIds = 4;
constexpr uint32_t kWrongDigests = 5;
constexpr uint32_t kDecryptionErrors = 6;
// RFC 3411 section 5: an engine ID is 5 to 32 bytes.
constexpr size_t kShortestEngineId = 5;
constexpr size_t kLongestEngineId = 32;

SecurityLevel LevelOf(uint8_t flags)
{
    if ((flags & kMsgFlagPriv) != 0) {
        return SecurityLevel::AuthPriv;
    }
    return (flags & kMsgFlagAuth) != 0 ? SecurityLevel::AuthNoPriv : SecurityLevel::NoAuthNoPriv;
}

NotificationDrop DropFor(UsmVerdict verdict)
{
    switch (verdict) {
    case UsmVerdict::Taken:
        return NotificationDrop::None;
    case UsmVerdict::UnsupportedLevel:
        return NotificationDrop::UnsupportedLevel;
    case UsmVerdict::UnknownEngine:
        return NotificationDrop::UnknownEngine;
    case UsmVerdict::UnknownUser:
        return NotificationDrop::UnknownUser;
    case UsmVerdict::WrongDigest:
        return NotificationDrop::WrongDigest;
    case UsmVerdict::NotInTimeWindow:
        return NotificationDrop::NotInTimeWindow;
    case UsmVerdict::Decryption:
        return NotificationDrop::Decryption;
    default:
        return NotificationDrop::Malformed;
    }
}

bool Pinned(const UsmUser& user, const std::vector<uint8_t>& engineId)
{
    return user.engines.empty() ||
           std::find(user.engines.begin(), user.engines.end(), engineId) != user.engines.end();
}

}  // namespace

UserNotifications::UserNotifications(std::vector<UsmUser> users, std::vector<uint8_t> engineId,
                                     int32_t boots, size_t mostPeers)
    : users_(std::move(users)), engineId_(std::move(engineId)), boots_(boots),
      started_(std::chrono::steady_clock::now()), peers_(mostPeers)
{
    UsmPeerInit(stranger_, UsmUser());
    stranger_.engineId = engineId_;
    stranger_.discovered = true;
    stranger_.authoritative = true;
    UsmAdoptClock(stranger_, boots_, 0);
    stranger_.latestTimeAt = started_;
}

UsmPeer* UserNotifications::PeerFor(size_t user, const std::vector<uint8_t>& engineId)
{
    bool made = false;
    UsmPeer* peer = peers_.PeerFor(user, users_[user], engineId, made);
    if (made && engineId == engineId_) {
        peer->authoritative = true;
        UsmAdoptClock(*peer, boots_, 0);
        peer->latestTimeAt = started_;
    }
    return peer;
}

void UserNotifications::PrepareReport(UsmPeer& peer, int32_t msgId, SecurityLevel level,
                                      uint32_t stat, std::vector<uint8_t>& reply)
{
    uint32_t name[] = {1, 3, 6, 1, 6, 3, 15, 1, 1, stat, 0};
    SnmpVarBind counter{{11, name}, {}};
    counter.value.tag = ASN_COUNTER;
    counter.value.data.unsigned32 = ++stats_.at(stat);
    SnmpPdu report;
    report.pduType = PDU_REPORT;
    report.requestId = msgId;
    report.bindings = {&counter, 1};
    if (!UsmPrepareAtLevel(peer, msgId, level, report, reply)) {
        reply.clear();
    }
}

void UserNotifications::ReportUnproven(int32_t msgId, uint32_t stat, std::vector<uint8_t>& reply)
{
    // Nothing of the message is proven, so the report goes unauthenticated.
    PrepareReport(stranger_, msgId, SecurityLevel::NoAuthNoPriv, stat, reply);
}

bool UserNotifications::PrepareAck(UsmPeer& peer, const IncomingMessage& inform,
                                   std::vector<uint8_t>& out)
{
    SnmpPdu ack;
    ack.pduType = PDU_RESPONSE;
    ack.requestId = inform.pdu.requestId;
    ack.bindings = inform.pdu.bindings;  // borrowed
    if (UsmPrepareInContext(peer, inform.msgId, ack, out, inform.contextEngineId,
                            inform.contextName) &&
        out.size() <= kMaxSnmpMessageSize) {
        return true;
    }
    ack.errorStatus = SNMP_ERROR_TOOBIG;
    ack.bindings = {nullptr, 0};
    return UsmPrepareInContext(peer, inform.msgId, ack, out, inform.contextEngineId,
                               inform.contextName);
}

NotificationDrop UserNotifications::Check(UsmPeer& peer, const uint8_t* data, size_t size,
                                          IncomingMessage& incoming, std::vector<uint8_t>& reply)
{
    UsmIncoming taken;
    const UsmVerdict verdict = UsmTakeApart(peer, data, size, taken);
    const bool reportable = peer.authoritative && (taken.message.flags & kMsgFlagReportable) != 0;
    if (verdict == UsmVerdict::NotInTimeWindow && reportable) {
        // RFC 3414 section 3.2 step 7 a: authenticated, with our boots and time.
        PrepareReport(peer, taken.message.msgId, SecurityLevel::AuthNoPriv, kNotInTimeWindows,
                      reply);
    } else if (verdict == UsmVerdict::WrongDigest && reportable) {
        ReportUnproven(taken.message.msgId, kWrongDigests, reply);  // section 3.2 step 6
    } else if (verdict == UsmVerdict::Decryption && reportable) {
        ReportUnproven(taken.message.msgId, kDecryptionErrors, reply);  // section 3.2 step 8 b
    }
    if (verdict != UsmVerdict::Taken) {
        return DropFor(verdict);
    }
    const uint8_t type = taken.pdu.pduType;
    // Informs are sent to us as their authoritative engine, traps from theirs.
    const bool inform = type == PDU_INFORM;
    NotificationDrop drop = NotificationDrop::None;
    if (type != PDU_TRAP_V2 && !inform) {
        drop = NotificationDrop::Malformed;
    } else if (inform && !peer.authoritative) {
        drop = NotificationDrop::UnknownEngine;
        // Sent to an engine that is not ours: the sender learns ours (section 3.2 step 3).
        if ((taken.message.flags & kMsgFlagReportable) != 0 && !engineId_.empty()) {
            ReportUnproven(taken.message.msgId, kUnknownEngineIds, reply);
        }
    }
    IncomingFromUsm(taken, incoming);
    if (drop == NotificationDrop::None && inform && !PrepareAck(peer, incoming, reply)) {
        drop = NotificationDrop::Malformed;
    }
    if (drop != NotificationDrop::None) {
        FreeIncoming(incoming);
    }
    return drop;
}

NotificationDrop UserNotifications::TakeApart(const uint8_t* data, size_t size,
                                              IncomingMessage& incoming,
                                              std::vector<uint8_t>& reply)
{
    reply.clear();
    V3Message header;
    size_t authOffset = 0;
    if (!DecodeV3Message(data, size, header, authOffset)) {
        return NotificationDrop::Malformed;
    }
    const bool reportableFlag = (header.flags & kMsgFlagReportable) != 0;
    if (header.engineId.empty() && reportableFlag && !engineId_.empty()) {
        // RFC 3414 section 4: discovery is answered with our engine.
        ReportUnproven(header.msgId, kUnknownEngineIds, reply);
        return NotificationDrop::Discovery;
    }
    // Senders owed a report are those that wrote to our engine (section 3.2:
    // an inform's), told what went wrong so that they need not wait it out.
    const bool reportable = reportableFlag && header.engineId == engineId_;
    if (header.engineId.size() < kShortestEngineId || header.engineId.size() > kLongestEngineId) {
        return NotificationDrop::UnknownEngine;
    }
    // Agents compare names exactly (RFC 3414 section 3.2 step 4).
    size_t user = 0;
    while (user < users_.size() && users_[user].name != header.userName) {
        ++user;
    }
    if (user == users_.size()) {
        if (reportable) {
            ReportUnproven(header.msgId, kUnknownUserNames, reply);  // section 3.2 step 4
        }
        return NotificationDrop::UnknownUser;
    }
    // A lower level than the user's would let anyone speak for the user.
    SecurityLevel wanted = SecurityLevel::NoAuthNoPriv;
    if (users_[user].auth != AuthProtocol::None) {
        wanted = users_[user].priv == PrivProtocol::None ? SecurityLevel::AuthNoPriv
                                                         : SecurityLevel::AuthPriv;
    }
    if (LevelOf(header.flags) != wanted) {
        if (reportable) {
            ReportUnproven(header.msgId, kUnsupportedSecLevels, reply);  // section 3.2 step 5
        }
        return NotificationDrop::UnsupportedLevel;
    }
    if (header.engineId != engineId_ && !Pinned(users_[user], header.engineId)) {
        // An inform sent to an engine that is not ours learns ours (section 3.2 step 3).
        if (reportableFlag && !engineId_.empty()) {
            ReportUnproven(header.msgId, kUnknownEngineIds, reply);
        }
        return NotificationDrop::UnknownEngine;
    }
    UsmPeer* peer = nullptr;
    try {
        peer = PeerFor(user, header.engineId);
    } catch (const std::bad_alloc&) {
        peer = nullptr;
    }
    if (peer == nullptr) {
        return NotificationDrop::Decryption;
    }
    return Check(*peer, data, size, incoming, reply);
}
