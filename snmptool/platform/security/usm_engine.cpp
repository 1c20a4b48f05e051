// The manager's side of the user-based security model.
#include "security/usm_engine.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <span>

#include "ber/ber_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

// RFC 3414 section 2.2.3: the time window is 150 seconds.
constexpr int64_t kTimeWindowSeconds = 150;
constexpr int32_t kMaxEngineValue = 2147483647;
// The counters a report names, n in prefix.n.0, indexed by n (0: none):
// usmStats (RFC 3414 section 5), and the contexts of the target MIB (RFC 3413
// section 4.1.2: snmpUnavailableContexts, snmpUnknownContexts).
constexpr uint32_t kUsmStatsPrefix[] = {1, 3, 6, 1, 6, 3, 15, 1, 1};
constexpr uint32_t kUsmStatsCodes[] = {
    0,
    ERROR_USM_UNSUPPORTED_LEVEL,
    ERROR_USM_NOT_IN_TIME_WINDOW,
    ERROR_USM_UNKNOWN_USER,
    ERROR_USM_UNKNOWN_ENGINE,
    ERROR_USM_WRONG_DIGEST,
    ERROR_USM_DECRYPTION,
};
constexpr uint32_t kTargetPrefix[] = {1, 3, 6, 1, 6, 3, 12, 1};
constexpr uint32_t kTargetCodes[] = {
    0, 0, 0, 0, ERROR_USM_UNAVAILABLE_CONTEXT, ERROR_USM_UNKNOWN_CONTEXT,
};
struct ReportCounters {
    std::span<const uint32_t> prefix;
    std::span<const uint32_t> codes;
};
constexpr ReportCounters kReportCounters[] = {
    {{kUsmStatsPrefix, std::size(kUsmStatsPrefix)}, {kUsmStatsCodes, std::size(kUsmStatsCodes)}},
    {{kTargetPrefix, std::size(kTargetPrefix)}, {kTargetCodes, std::size(kTargetCodes)}},
};

// The peer's engine time now: the last time learnt plus what our clock says
// has passed since (RFC 3414 section 2.3).
int32_t EstimatedTime(const UsmPeer& peer)
{
    auto passed =
        std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - peer.latestTimeAt);
    int64_t time = static_cast<int64_t>(peer.latestTime) + passed.count();
    return static_cast<int32_t>(std::min<int64_t>(time, kMaxEngineValue));
}

// RFC 3826 section 3.1.2.1: the IV is boots, time and the 64-bit salt.
void AesIv(int32_t boots, int32_t time, const uint8_t* salt, uint8_t* iv)
{
    PutBigEndian(iv, static_cast<uint32_t>(boots), 4);
    PutBigEndian(iv + 4, static_cast<uint32_t>(time), 4);
    std::copy(salt, salt + 8, iv + 8);
}

// RFC 3414 section 8.1.1.1: the IV is the pre-IV (the key's last 8 bytes)
// XOR the salt.
void DesIv(const SecretKey& key, const uint8_t* salt, uint8_t* iv)
{
    for (size_t i = 0; i < 8; ++i) {
        iv[i] = key.bytes[8 + i] ^ salt[i];
    }
}

bool Encrypt(UsmPeer& peer, V3Message& message, const std::vector<uint8_t>& plain)
{
    uint8_t salt[8];
    uint8_t iv[16];
    uint64_t counter = peer.nextSalt++;
    if (peer.user.priv == PrivProtocol::Des) {
        // RFC 3414 section 8.1.1.1: boots and a 32-bit counter.
        PutBigEndian(salt, static_cast<uint32_t>(message.engineBoots), 4);
        PutBigEndian(salt + 4, static_cast<uint32_t>(counter), 4);
        DesIv(peer.privKey, salt, iv);
        message.data = plain;
        message.data.resize((plain.size() + 7) / 8 * 8, 0);
        message.privParams.assign(salt, salt + 8);
        return DesCbc(true, peer.privKey.bytes.data(), iv, message.data.data(), message.data.size(),
                      message.data.data());
    }
    PutBigEndian(salt, counter, 8);
    AesIv(message.engineBoots, message.engineTime, salt, iv);
    message.data.resize(plain.size());
    message.privParams.assign(salt, salt + 8);
    return AesCfb128(true, peer.privKey.bytes.data(), peer.privKey.bytes.size(), iv, plain.data(),
                     plain.size(), message.data.data());
}

bool Decrypt(const UsmPeer& peer, const V3Message& message, std::vector<uint8_t>& plain)
{
    if (message.privParams.size() != 8) {
        return false;
    }
    uint8_t iv[16];
    plain.resize(message.data.size());
    if (peer.user.priv == PrivProtocol::Des) {
        DesIv(peer.privKey, message.privParams.data(), iv);
        return DesCbc(false, peer.privKey.bytes.data(), iv, message.data.data(),
                      message.data.size(), plain.data());
    }
    AesIv(message.engineBoots, message.engineTime, message.privParams.data(), iv);
    return AesCfb128(false, peer.privKey.bytes.data(), peer.privKey.bytes.size(), iv,
                     message.data.data(), message.data.size(), plain.data());
}

// RFC 3414 section 6.3.1 / 7.3.1: the digest over the whole message with the
// authentication parameters zeroed, cut to the protocol's size.
bool Sign(const UsmPeer& peer, std::vector<uint8_t>& wire, size_t authOffset)
{
    uint8_t mac[kMaxDigestSize];
    if (!ComputeHmac(peer.hash, peer.authKey.bytes.data(), peer.authKey.bytes.size(), wire.data(),
                     wire.size(), mac)) {
        return false;
    }
    std::copy(mac, mac + peer.macSize, wire.begin() + static_cast<long>(authOffset));
    return true;
}

bool IsAuthentic(const UsmPeer& peer, const uint8_t* data, size_t size, const V3Message& message,
                 size_t authOffset)
{
    if (message.authParams.size() != peer.macSize || authOffset + peer.macSize > size) {
        return false;
    }
    std::vector<uint8_t> zeroed(data, data + size);
    std::fill_n(zeroed.begin() + static_cast<long>(authOffset), peer.macSize, 0);
    uint8_t mac[kMaxDigestSize];
    return ComputeHmac(peer.hash, peer.authKey.bytes.data(), peer.authKey.bytes.size(),
                       zeroed.data(), zeroed.size(), mac) &&
           SameBytes(mac, message.authParams.data(), peer.macSize);
}

// RFC 3414 section 3.2 step 7: as the authoritative engine, boots must be
// ours and time within 150 seconds of ours either way (a); as a
// non-authoritative one, the first authentic message teaches the clock, a
// later boots or time moves our notion forward, and a message older than the
// window is refused (b).
bool WithinTimeWindow(UsmPeer& peer, int32_t boots, int32_t time)
{
    if (peer.authoritative) {
        const int64_t ours = EstimatedTime(peer);
        return boots == peer.boots && boots != kMaxEngineValue &&
               std::abs(static_cast<int64_t>(time) - ours) <= kTimeWindowSeconds;
    }
    if (!peer.clockKnown || boots > peer.boots || (boots == peer.boots && time > peer.latestTime)) {
        UsmAdoptClock(peer, boots, time);
    }
    return peer.boots != kMaxEngineValue && boots == peer.boots &&
           static_cast<int64_t>(time) >=
               static_cast<int64_t>(EstimatedTime(peer)) - kTimeWindowSeconds;
}

bool PrepareInContext(UsmPeer& peer, int32_t msgId, SecurityLevel level, const SnmpPdu& pdu,
                      std::vector<uint8_t>& out, const std::vector<uint8_t>& contextEngineId,
                      const std::string& contextName)
{
    V3Message message;
    message.msgId = msgId;
    message.maxSize = static_cast<int32_t>(kMaxSnmpMessageSize);
    // RFC 3412 section 6.4: only the confirmed class asks for a report.
    const bool confirmed =
        pdu.pduType != PDU_RESPONSE && pdu.pduType != PDU_TRAP_V2 && pdu.pduType != PDU_REPORT;
    message.flags = confirmed ? kMsgFlagReportable : 0;
    message.engineId = peer.engineId;
    message.engineBoots = peer.boots;
    message.engineTime = peer.discovered ? EstimatedTime(peer) : 0;
    // RFC 3414 section 4: discovery names no user.
    if (peer.discovered) {
        message.userName = peer.user.name;
    }
    std::vector<uint8_t> scoped;
    if (!EncodeScopedPdu(contextEngineId, contextName, pdu, scoped)) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return false;
    }
    if (level == SecurityLevel::AuthPriv) {
        message.flags |= kMsgFlagPriv;
        if (!Encrypt(peer, message, scoped)) {
            SetLastError(ERROR_USM_CRYPTO);
            return false;
        }
    } else {
        message.data = std::move(scoped);
    }
    if (level != SecurityLevel::NoAuthNoPriv) {
        message.flags |= kMsgFlagAuth;
        message.authParams.assign(peer.macSize, 0);
    }
    size_t authOffset = 0;
    if (!EncodeV3Message(message, out, authOffset)) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return false;
    }
    if (level != SecurityLevel::NoAuthNoPriv && !Sign(peer, out, authOffset)) {
        SetLastError(ERROR_USM_CRYPTO);
        return false;
    }
    return true;
}

bool PrepareAtEngine(UsmPeer& peer, int32_t msgId, SecurityLevel level, const SnmpPdu& pdu,
                     std::vector<uint8_t>& out)
{
    return PrepareInContext(peer, msgId, level, pdu, out, peer.engineId, "");
}

SecurityLevel LevelOfFlags(uint8_t flags)
{
    if ((flags & kMsgFlagPriv) != 0) {
        return SecurityLevel::AuthPriv;
    }
    return (flags & kMsgFlagAuth) != 0 ? SecurityLevel::AuthNoPriv : SecurityLevel::NoAuthNoPriv;
}

}  // namespace

bool UsmPeerInit(UsmPeer& peer, UsmUser&& user)
{
    peer.user = std::move(user);
    if (peer.user.auth == AuthProtocol::None) {
        peer.level = SecurityLevel::NoAuthNoPriv;
    } else {
        peer.level = peer.user.priv == PrivProtocol::None ? SecurityLevel::AuthNoPriv
                                                          : SecurityLevel::AuthPriv;
    }
    peer.hash = HashOf(peer.user.auth);
    peer.macSize = MacSize(peer.user.auth);
    peer.privKeySize = PrivKeySize(peer.user.priv);
    uint8_t random[12];
    if (!RandomBytes(random, sizeof random)) {
        SetLastError(ERROR_USM_CRYPTO);
        return false;
    }
    uint32_t id = 0;
    for (size_t i = 0; i < 4; ++i) {
        id = (id << 8) | random[i];
        peer.nextSalt = (peer.nextSalt << 8) | random[4 + i];
        peer.nextSalt = (peer.nextSalt << 8) | random[8 + i];
    }
    // Positive and far from wrapping, as the community versions' request IDs.
    peer.nextMsgId = static_cast<int32_t>(id & 0x3FFFFFFFu) + 1;
    return true;
}

bool UsmAdoptEngine(UsmPeer& peer, const std::vector<uint8_t>& engineId, int32_t boots,
                    int32_t time)
{
    UsmAdoptClock(peer, boots, time);
    return UsmLocaliseTo(peer, engineId);
}

bool UsmLocaliseTo(UsmPeer& peer, const std::vector<uint8_t>& engineId)
{
    peer.engineId = engineId;
    peer.authKey.Wipe();
    peer.privKey.Wipe();
    if (peer.level != SecurityLevel::NoAuthNoPriv &&
        !LocaliseKey(peer.hash, peer.user.authPassphrase, engineId.data(), engineId.size(),
                     peer.authKey)) {
        return false;
    }
    if (peer.level == SecurityLevel::AuthPriv &&
        !MakePrivKey(peer.hash, peer.privKeySize, peer.user.privPassphrase, engineId.data(),
                     engineId.size(), peer.privKey)) {
        return false;
    }
    peer.discovered = true;
    return true;
}

void UsmForgetEngine(UsmPeer& peer)
{
    peer.discovered = false;
    peer.engineId.clear();
    peer.boots = 0;
    peer.latestTime = 0;
    peer.clockKnown = false;
}

void UsmAdoptClock(UsmPeer& peer, int32_t boots, int32_t time)
{
    peer.boots = boots;
    peer.latestTime = time;
    peer.latestTimeAt = Clock::now();
    peer.clockKnown = true;
}

int32_t UsmTakeMsgId(UsmPeer& peer)
{
    int32_t id = peer.nextMsgId;
    peer.nextMsgId = id == kMaxEngineValue ? 1 : id + 1;
    return id;
}

bool UsmPrepareDiscovery(UsmPeer& peer, int32_t msgId, std::vector<uint8_t>& out)
{
    SnmpPdu probe;
    probe.pduType = PDU_GET;
    probe.requestId = msgId;
    return PrepareAtEngine(peer, msgId, SecurityLevel::NoAuthNoPriv, probe, out);
}

bool UsmPrepare(UsmPeer& peer, int32_t msgId, const SnmpPdu& pdu, std::vector<uint8_t>& out)
{
    return PrepareAtEngine(peer, msgId, peer.level, pdu, out);
}

bool UsmPrepareInContext(UsmPeer& peer, int32_t msgId, const SnmpPdu& pdu,
                         std::vector<uint8_t>& out, const std::vector<uint8_t>& contextEngineId,
                         const std::string& contextName)
{
    return PrepareInContext(peer, msgId, peer.level, pdu, out, contextEngineId, contextName);
}

bool UsmPrepareAtLevel(UsmPeer& peer, int32_t msgId, SecurityLevel level, const SnmpPdu& pdu,
                       std::vector<uint8_t>& out)
{
    return PrepareAtEngine(peer, msgId, std::min(level, peer.level), pdu, out);
}

UsmVerdict UsmTakeApart(UsmPeer& peer, const uint8_t* data, size_t size, UsmIncoming& incoming)
{
    size_t authOffset = 0;
    V3Message& message = incoming.message;
    if (!DecodeV3Message(data, size, message, authOffset)) {
        return UsmVerdict::Malformed;
    }
    incoming.level = LevelOfFlags(message.flags);
    const bool authenticated = (message.flags & kMsgFlagAuth) != 0;
    const bool encrypted = (message.flags & kMsgFlagPriv) != 0;
    // RFC 3412 section 7.2 step 5: encryption without authentication is no level.
    if ((encrypted && !authenticated) || incoming.level > peer.level) {
        return UsmVerdict::UnsupportedLevel;
    }
    if (authenticated) {
        // Only our user's keys can prove a message, and only for the engine
        // they were localised to.
        if (!peer.discovered || message.engineId != peer.engineId) {
            return UsmVerdict::UnknownEngine;
        }
        if (message.userName != peer.user.name) {
            return UsmVerdict::UnknownUser;
        }
        if (!IsAuthentic(peer, data, size, message, authOffset)) {
            return UsmVerdict::WrongDigest;
        }
        if (!WithinTimeWindow(peer, message.engineBoots, message.engineTime)) {
            return UsmVerdict::NotInTimeWindow;
        }
    }
    std::vector<uint8_t> plain;
    if (encrypted && !Decrypt(peer, message, plain)) {
        return UsmVerdict::Decryption;
    }
    const std::vector<uint8_t>& scoped = encrypted ? plain : message.data;
    if (!DecodeScopedPdu(scoped.data(), scoped.size(), incoming.contextEngineId,
                         incoming.contextName, incoming.pdu)) {
        return encrypted ? UsmVerdict::Decryption : UsmVerdict::Malformed;
    }
    return UsmVerdict::Taken;
}

uint32_t UsmReportCode(const SnmpPdu& report)
{
    if (report.bindings.count == 0) {
        return ERROR_USM_OTHER_REPORT;
    }
    const AsnObjectIdentifier& name = report.bindings.bindings[0].name;
    for (const ReportCounters& counters : kReportCounters) {
        const size_t prefixSize = counters.prefix.size();
        if (name.count == prefixSize + 2 &&
            std::equal(counters.prefix.begin(), counters.prefix.end(), name.ids) &&
            name.ids[prefixSize] < counters.codes.size() && name.ids[prefixSize + 1] == 0 &&
            counters.codes[name.ids[prefixSize]] != 0) {
            return counters.codes[name.ids[prefixSize]];
        }
    }
    return ERROR_USM_OTHER_REPORT;
}
