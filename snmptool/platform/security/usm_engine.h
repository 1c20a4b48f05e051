// The user-based security model's processing on the manager's side (RFC
// 3414 section 3): discovery of the agent's engine, the time window,
// authentication and privacy of outgoing and incoming messages, and the names
// of the Report-PDUs an agent answers with when it refuses a request. Which
// message answers which request is for the caller to judge.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "security/usm_message.h"
#include "security/usm_users.h"

enum class SecurityLevel { NoAuthNoPriv, AuthNoPriv, AuthPriv };

// One user's view of one agent's engine, kept for a session: its engine ID,
// boots and time, and the user's keys localised to it once, when the engine
// is learnt, with the sizes that preparing and checking a message need.
struct UsmPeer {
    UsmUser user;
    SecurityLevel level = SecurityLevel::NoAuthNoPriv;
    HashKind hash = HashKind::Md5;
    size_t macSize = 0;      // msgAuthenticationParameters' bytes; 0 without authentication
    size_t privKeySize = 0;  // 0 without privacy
    bool discovered = false;
    std::vector<uint8_t> engineId;
    int32_t boots = 0;
    int32_t latestTime = 0;  // engine time of the last authentic answer
    std::chrono::steady_clock::time_point latestTimeAt;
    // False until an authentic message taught the clock (a receiver of
    // notifications learns it so, RFC 3414 section 3.2 step 7 b).
    bool clockKnown = false;
    // We are the engine (an inform's receiver): the clock is ours and a
    // message outside the window is refused, never learnt from (step 7 a).
    bool authoritative = false;
    SecretKey authKey;
    SecretKey privKey;
    int32_t nextMsgId = 1;
    uint64_t nextSalt = 0;
};

// A peer for `user` (taken over), with random first message ID and salt.
bool UsmPeerInit(UsmPeer& peer, UsmUser&& user);

// Learns the engine ID, boots and time (RFC 3414 section 4) and localises the
// user's keys to that engine.
bool UsmAdoptEngine(UsmPeer& peer, const std::vector<uint8_t>& engineId, int32_t boots,
                    int32_t time);
// Localises the user's keys to `engineId`, its clock still unknown.
bool UsmLocaliseTo(UsmPeer& peer, const std::vector<uint8_t>& engineId);
// Forgets the engine, before it is discovered again.
void UsmForgetEngine(UsmPeer& peer);
// Moves our notion of the engine's clock to `boots` and `time` (RFC 3414
// section 3.2 step 7 b; section 4 for a notInTimeWindow report).
void UsmAdoptClock(UsmPeer& peer, int32_t boots, int32_t time);

int32_t UsmTakeMsgId(UsmPeer& peer);

// The discovery request: no user, no engine ID, no bindings, reportable.
bool UsmPrepareDiscovery(UsmPeer& peer, int32_t msgId, std::vector<uint8_t>& out);
// A message at the user's level carrying `pdu`, in the engine's default
// context, or in the context named.
bool UsmPrepare(UsmPeer& peer, int32_t msgId, const SnmpPdu& pdu, std::vector<uint8_t>& out);
bool UsmPrepareInContext(UsmPeer& peer, int32_t msgId, const SnmpPdu& pdu,
                         std::vector<uint8_t>& out, const std::vector<uint8_t>& contextEngineId,
                         const std::string& contextName);
// The same at `level`, no higher than the user's (a Report-PDU, RFC 3414
// section 3.1.1: unauthenticated to a sender whose user is unknown).
bool UsmPrepareAtLevel(UsmPeer& peer, int32_t msgId, SecurityLevel level, const SnmpPdu& pdu,
                       std::vector<uint8_t>& out);

// A message taken apart: its header and security fields, the level it came
// at and its scoped PDU (whose bindings it owns; FreePdu).
struct UsmIncoming {
    V3Message message;
    SecurityLevel level = SecurityLevel::NoAuthNoPriv;
    std::vector<uint8_t> contextEngineId;
    std::string contextName;
    SnmpPdu pdu;
};

// What the checks of RFC 3414 section 3.2 found.
enum class UsmVerdict {
    Taken,
    Malformed,
    UnsupportedLevel,  // encrypted but not authenticated, or above what the user has
    UnknownEngine,
    UnknownUser,
    WrongDigest,
    NotInTimeWindow,
    Decryption,
};

// Decodes a datagram and, when it says it is authenticated, checks it with
// our user's keys for the engine they were localised to, within the time
// window, and decrypts it.
UsmVerdict UsmTakeApart(UsmPeer& peer, const uint8_t* data, size_t size, UsmIncoming& incoming);

// The code naming what a Report-PDU reports (ERROR_USM_*).
uint32_t UsmReportCode(const SnmpPdu& report);
