// The user-based security model's processing on the manager's side (RFC
// 3414 section 3, RFC 3412 section 7): discovery of the agent's engine, the
// time window, authentication and privacy of requests and answers, and the
// Report-PDUs an agent answers with when it refuses a request.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "security/usm_message.h"
#include "security/usm_users.h"

enum class SecurityLevel { NoAuthNoPriv, AuthNoPriv, AuthPriv };

SecurityLevel LevelOf(const UsmUser& user);

// One user's view of one agent's engine, kept for a session: its engine ID,
// boots and time, and the user's keys localised to it.
struct UsmPeer {
    UsmUser user;
    SecurityLevel level = SecurityLevel::NoAuthNoPriv;
    bool discovered = false;
    std::vector<uint8_t> engineId;
    int32_t boots = 0;
    int32_t latestTime = 0;  // engine time of the last authentic answer
    std::chrono::steady_clock::time_point latestTimeAt;
    SecretKey authKey;
    SecretKey privKey;
    int32_t nextMsgId = 1;
    uint64_t nextSalt = 0;
};

// A peer for `user` (taken over), with random first message ID and salt.
bool UsmPeerInit(UsmPeer& peer, UsmUser&& user);

// Learns the engine ID, boots and time (RFC 3414 section 4) from a report and
// localises the user's keys to that engine.
bool UsmAdoptEngine(UsmPeer& peer, const std::vector<uint8_t>& engineId, int32_t boots,
                    int32_t time);

// The discovery request: no user, no engine ID, no bindings, reportable.
bool UsmEncodeDiscovery(UsmPeer& peer, int32_t msgId, std::vector<uint8_t>& out);

// A request at the user's level carrying `pdu` (type, request ID, bindings).
bool UsmEncodeRequest(UsmPeer& peer, int32_t msgId, const SnmpMessage& pdu,
                      std::vector<uint8_t>& out);

enum class UsmAnswerKind { NotAnswer, Response, Report };

// Takes a datagram apart: the answer to message `msgId` when it is one. A
// Response must come at the request's level, authentic, within the time
// window, for request `requestId`; a Report may come at any level (the agent
// could not read the request). On Response or Report `pdu` owns its
// bindings, and `message` holds the message's header and security fields.
UsmAnswerKind UsmReadAnswer(UsmPeer& peer, int32_t msgId, int32_t requestId, const uint8_t* data,
                            size_t size, V3Message& message, SnmpMessage& pdu);

// The code naming what a Report-PDU reports (ERROR_USM_*).
uint32_t UsmReportCode(const SnmpMessage& report);

// Sends one datagram (with the caller's time-out and retries) and hands each
// datagram from the agent to `isAnswer` until it takes one. 0 when one was
// taken, else the code of the failure (time-out, socket).
using UsmIsAnswer = std::function<bool(const uint8_t* data, size_t size)>;
using UsmExchange =
    std::function<uint32_t(const std::vector<uint8_t>& datagram, const UsmIsAnswer& isAnswer)>;

// Whether a Response fits the request (its bindings, for instance); one that
// does not is dropped like any stranger's datagram.
using UsmFits = std::function<bool(const SnmpMessage& response)>;

// Discovers the engine when not yet known, sends `request`, and fills
// `response` with the answer that `fits` (FreeMessage releases it). A notInTimeWindow
// report is answered by one retry with the agent's new time; an unknown
// engine ID by one new discovery (the agent may have been replaced). 0, or
// the code of the failure.
uint32_t UsmRequest(UsmPeer& peer, const UsmExchange& exchange, const SnmpMessage& request,
                    SnmpMessage& response, const UsmFits& fits = nullptr);
