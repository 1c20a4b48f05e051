// Manager sessions: one UDP socket per session, one request at a time,
// answered within the time-out and retries (RFC 1157 section 4.1; RFC 3416
// section 4.2 and RFC 1901 for SNMPv2c sessions).
#include <atomic>
#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "session/agent_address.h"
#include "ber/ber_codec.h"
#include "snmp_api.h"
#include "security/usm_engine.h"
#include "session/system_random.h"
#include "os/system_error.h"
#include "transport/udp_transport.h"

struct SnmpMgrSession {
    int socketFd = -1;
    int armedReceiveMs = 0;  // the socket's receive time-out (UdpReceive)
    bool connected = false;  // the socket is connected to the agent
    AgentAddress agent;
    std::chrono::milliseconds timeout{0};
    int32_t retries = 0;
    // Kept from one request to the next, so that a walk allocates nothing here
    // beyond what decoding the answers needs. The request holds the version and
    // community for good; each request fills in the rest and borrows the
    // caller's bindings only while it is encoded.
    SnmpMessage request;
    std::vector<uint8_t> sendBuffer;
    std::vector<uint8_t> receiveBuffer;
    // SNMPv3 only: the user and what is known of the agent's engine.
    std::unique_ptr<UsmPeer> usm;
};

namespace {

// Request IDs start at a random value in each process, so that an answer meant
// for an earlier run of the program (still on its way to a reused port) does
// not match, and stay positive: some agents mishandle negative IDs.
int32_t FirstRequestId()
{
    const uint32_t seed = RandomSeed();
    // At most 2^30: a long run of requests is far from wrapping.
    return static_cast<int32_t>(seed & 0x3FFFFFFFu) + 1;
}

int32_t NextRequestId()
{
    static std::atomic<int32_t> next{FirstRequestId()};
    int32_t id = next.load(std::memory_order_relaxed);
    int32_t following = 0;
    do {
        following = (id == INT32_MAX) ? 1 : id + 1;
    } while (!next.compare_exchange_weak(id, following, std::memory_order_relaxed));
    return id;
}

bool IsRequestPdu(int32_t version, uint8_t pduType)
{
    if (pduType == PDU_GETBULK) {
        return version != SNMP_VERSION_1;
    }
    return pduType == PDU_GET || pduType == PDU_GETNEXT || pduType == PDU_SET;
}

// How many bindings a noError answer may hold: one for one, or for GETBULK
// the non-repeaters and max-repetitions of each other binding (RFC 3416
// section 4.2.3), and never fewer than an error answer echoes.
uint32_t MostBindingsAnswered(uint8_t pduType, const SnmpVarBindList& list, int32_t nonRepeaters,
                              int32_t maxRepetitions)
{
    if (pduType != PDU_GETBULK) {
        return list.count;
    }
    const uint64_t single = nonRepeaters < 0 ? 0 : std::min<uint64_t>(nonRepeaters, list.count);
    const uint64_t repetitions = maxRepetitions < 0 ? 0 : static_cast<uint64_t>(maxRepetitions);
    const uint64_t most = single + (list.count - single) * repetitions;
    return static_cast<uint32_t>(
        std::min<uint64_t>(std::max<uint64_t>(most, list.count), UINT32_MAX));
}

// Releases the bindings of `list` from `keep` on and leaves the first `keep`.
bool DropBindingsFrom(SnmpVarBindList& list, uint32_t keep)
{
    if (list.count <= keep) {
        return true;
    }
    SnmpVarBindList tail = {
        static_cast<SnmpVarBind*>(SnmpUtilMemAlloc((list.count - keep) * sizeof(SnmpVarBind))),
        list.count - keep};
    if (tail.bindings == nullptr) {
        return false;
    }
    std::memcpy(tail.bindings, list.bindings + keep, tail.count * sizeof(SnmpVarBind));
    list.count = keep;
    SnmpUtilVarBindListFree(&tail);
    return true;
}

// Encodes the request into the session's send buffer. `field1` and `field2`
// are the error status and index, or GETBULK's non-repeaters and max-repetitions.
bool EncodeRequest(SnmpMgrSession& session, uint8_t pduType, const SnmpVarBindList& list,
                   int32_t requestId, int32_t field1, int32_t field2)
{
    SnmpMessage& request = session.request;
    request.pduType = pduType;
    request.requestId = requestId;
    request.errorStatus = field1;
    request.errorIndex = field2;
    request.bindings = list;
    bool encoded = EncodeMessage(request, session.sendBuffer);
    request.bindings = {nullptr, 0};
    if (!encoded) {
        return false;
    }
    if (session.sendBuffer.size() > kMaxDatagramPayload) {
        SetLastError(ERROR_MESSAGE_TOO_BIG);
        return false;
    }
    return true;
}

// What an answer must match: the request's ID and its binding count, exactly
// or (GETBULK) as the most it may hold.
struct Expected {
    int32_t requestId;
    uint32_t bindingCount;
    bool countIsExact;
};

// True, with `response` holding the decoded answer, when the datagram is the
// answer to this request: a Response from the agent's own address and port,
// in the session's version, with the session's community and the request's
// ID. Everything else is dropped: late answers to earlier requests, datagrams
// from elsewhere (anyone can send to our port), answers in another version,
// Reports, and datagrams that do not decode.
bool IsAnswer(const SnmpMgrSession& session, const Expected& expected, const uint8_t* data,
              size_t size, SnmpMessage& response)
{
    int32_t version = -1;
    uint8_t pduType = 0;
    int32_t answeredId = 0;
    // The header alone settles most strangers without allocating anything.
    if (!PeekMessageHeader(data, size, version, pduType, answeredId)) {
        return false;
    }
    const int32_t sessionVersion = session.request.version;
    if (version != sessionVersion || pduType != PDU_RESPONSE || answeredId != expected.requestId) {
        return false;
    }
    if (!DecodeMessage(data, size, response)) {
        return false;
    }
    // RFC 1157 section 4.1: a GetResponse carries the request's bindings, one
    // for one, also with an error status. An answer with more or fewer cannot
    // be matched to what was asked (a walk would ask for names nobody named).
    // A GETBULK answer may hold fewer than the most; more are dropped later.
    const bool countFits =
        !expected.countIsExact || response.bindings.count == expected.bindingCount;
    if (response.version != sessionVersion || response.pduType != PDU_RESPONSE ||
        response.requestId != expected.requestId ||
        response.community != session.request.community || !countFits) {
        FreeMessage(response);
        return false;
    }
    return true;
}

enum class WaitOutcome { Answered, NoAnswer, Failed };

// Waits for the answer until the deadline. A dropped datagram never moves the
// deadline; once it has passed, the first dropped datagram ends the wait, so
// that a stream of strangers cannot keep us here.
// Whether a datagram from the agent's own address and port is the answer;
// the check keeps what it takes.
using AnswerCheck = std::function<bool(const uint8_t* data, size_t size)>;

WaitOutcome AwaitAnswer(SnmpMgrSession& session, TransportClock::time_point deadline,
                        const AnswerCheck& isAnswer)
{
    for (;;) {
        size_t size = 0;
        sockaddr_storage from;
        socklen_t fromLength = 0;
        ReceiveOutcome outcome = UdpReceive(
            session.socketFd, deadline, session.receiveBuffer.data(), session.receiveBuffer.size(),
            size, from, fromLength, session.armedReceiveMs);
        if (outcome == ReceiveOutcome::DeadlinePassed) {
            return WaitOutcome::NoAnswer;
        }
        if (outcome == ReceiveOutcome::Failed) {
            return WaitOutcome::Failed;
        }
        if (IsSameEndpoint(session.agent, from, fromLength) &&
            isAnswer(session.receiveBuffer.data(), size)) {
            return WaitOutcome::Answered;
        }
        if (TransportClock::now() >= deadline) {
            return WaitOutcome::NoAnswer;
        }
    }
}

// Sends the encoded request once per attempt and waits a full time-out after
// each. Every attempt carries the same request ID, so an answer to an earlier
// attempt that comes late still completes the request.
uint32_t Exchange(SnmpMgrSession& session, const std::vector<uint8_t>& datagram,
                  const AnswerCheck& isAnswer)
{
    for (int64_t attempt = 0; attempt <= session.retries; ++attempt) {
        SendOutcome sent =
            UdpSend(session.socketFd, session.agent.address,
                    session.connected ? 0 : session.agent.length, datagram.data(), datagram.size());
        if (sent == SendOutcome::Failed) {
            return SNMP_MGMTAPI_SELECT_FDERRORS;
        }
        TransportClock::time_point deadline = TransportClock::now() + session.timeout;
        WaitOutcome outcome = AwaitAnswer(session, deadline, isAnswer);
        if (outcome == WaitOutcome::Answered) {
            return 0;
        }
        if (outcome == WaitOutcome::Failed) {
            return SNMP_MGMTAPI_SELECT_FDERRORS;
        }
    }
    return SNMP_MGMTAPI_TIMEOUT;
}

SnmpMgrSession* NewSession(const char* community, int32_t timeoutMs, int32_t retries,
                           int32_t version)
{
    try {
        auto* session = new SnmpMgrSession;
        session->request.version = version;
        session->request.community = community;
        session->timeout = std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
        session->retries = retries < 0 ? 0 : retries;
        session->receiveBuffer.resize(kReceiveBufferSize);
        return session;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

SnmpMgrSession* OpenSession(const char* agent, const char* community, int32_t timeoutMs,
                            int32_t retries, int32_t version)
{
    AgentAddress address;
    if (!ResolveAgentAddress(agent, address)) {
        return nullptr;
    }
    SnmpMgrSession* session = NewSession(community, timeoutMs, retries, version);
    if (session == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    session->agent = address;
    session->socketFd = UdpOpen(address.address.ss_family);
    if (session->socketFd < 0) {
        SetLastErrorFromErrno(errno);
        delete session;
        return nullptr;
    }
    // Only an optimisation: an agent the socket cannot be connected to is
    // still sent to, and its failure reported, request by request.
    session->connected = UdpConnect(session->socketFd, address.address, address.length);
    return session;
}

// SNMPv3: the user-based security model wraps and checks the PDU, and the
// session's exchange carries its datagrams. Answers must fit as in 2c.
uint32_t UserExchange(SnmpMgrSession& session, uint8_t pduType, const SnmpVarBindList& list,
                      const Expected& expected, int32_t field1, int32_t field2,
                      SnmpMessage& response)
{
    SnmpMessage request;
    request.pduType = pduType;
    request.requestId = expected.requestId;
    request.errorStatus = field1;
    request.errorIndex = field2;
    request.bindings = list;  // borrowed while encoded
    auto exchange = [&session](const std::vector<uint8_t>& datagram, const UsmIsAnswer& isAnswer) {
        return Exchange(session, datagram, isAnswer);
    };
    auto fits = [&expected](const SnmpMessage& answer) {
        return !expected.countIsExact || answer.bindings.count == expected.bindingCount;
    };
    return UsmRequest(*session.usm, exchange, request, response, fits);
}

}  // namespace

SnmpMgrSession* SnmpMgrOpen(const char* agent, const char* community, int32_t timeoutMs,
                            int32_t retries)
{
    return SnmpMgrOpenVersion(agent, community, timeoutMs, retries, SNMP_VERSION_1);
}

SnmpMgrSession* SnmpMgrOpenVersion(const char* agent, const char* community, int32_t timeoutMs,
                                   int32_t retries, int32_t version)
{
    if (agent == nullptr || community == nullptr ||
        (version != SNMP_VERSION_1 && version != SNMP_VERSION_2C)) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return nullptr;
    }
    return OpenSession(agent, community, timeoutMs, retries, version);
}

SnmpMgrSession* SnmpMgrOpenUser(const char* agent, UsmUser* user, int32_t timeoutMs,
                                int32_t retries)
{
    if (agent == nullptr || user == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return nullptr;
    }
    SnmpMgrSession* session =
        OpenSession(agent, user->name.c_str(), timeoutMs, retries, SNMP_VERSION_3);
    if (session == nullptr) {
        return nullptr;
    }
    try {
        session->usm = std::make_unique<UsmPeer>();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        SnmpMgrClose(session);
        return nullptr;
    }
    if (!UsmPeerInit(*session->usm, std::move(*user))) {
        SnmpMgrClose(session);
        return nullptr;
    }
    return session;
}

// On success the list takes the answer's bindings, in order; an answer whose
// bindings do not match the request's one for one is dropped like any other
// stranger. Nothing of the list changes on failure.
int SnmpMgrRequest(SnmpMgrSession* session, uint8_t pduType, SnmpVarBindList* list,
                   int32_t* errorStatus, int32_t* errorIndex)
{
    if (session == nullptr || list == nullptr || errorStatus == nullptr || errorIndex == nullptr ||
        !IsRequestPdu(session->request.version, pduType) ||
        (list->count > 0 && list->bindings == nullptr)) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    const bool bulk = pduType == PDU_GETBULK;
    const Expected expected = {
        NextRequestId(), MostBindingsAnswered(pduType, *list, *errorStatus, *errorIndex), !bulk};
    const int32_t field1 = bulk ? *errorStatus : 0;
    const int32_t field2 = bulk ? *errorIndex : 0;
    SnmpMessage response;
    uint32_t failure = 0;
    try {
        if (session->usm) {
            failure = UserExchange(*session, pduType, *list, expected, field1, field2, response);
        } else if (!EncodeRequest(*session, pduType, *list, expected.requestId, field1, field2)) {
            return 0;
        } else {
            failure =
                Exchange(*session, session->sendBuffer, [&](const uint8_t* data, size_t size) {
                    return IsAnswer(*session, expected, data, size, response);
                });
        }
    } catch (const std::bad_alloc&) {
        failure = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (failure == 0 && !DropBindingsFrom(response.bindings, expected.bindingCount)) {
        FreeMessage(response);
        failure = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (failure != 0) {
        SetLastError(failure);
        return 0;
    }
    SnmpUtilVarBindListFree(list);
    *list = response.bindings;
    response.bindings = {nullptr, 0};
    *errorStatus = response.errorStatus;
    *errorIndex = response.errorIndex;
    FreeMessage(response);
    return 1;
}

int SnmpMgrClose(SnmpMgrSession* session)
{
    if (session == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    UdpClose(session->socketFd);
    delete session;
    return 1;
}
