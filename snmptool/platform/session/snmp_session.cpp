// Manager sessions: one UDP socket per session, one request at a time,
// answered within the time-out and retries (RFC 1157 section 4.1; RFC 3416
// section 4.2). The session's message model prepares each datagram and takes
// each received one apart; the session decides which one is the answer.
#include <atomic>
#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "message/dispatcher.h"
#include "session/agent_address.h"
#include "session/answer_match.h"
#include "session/manager_session.h"
#include "snmp_api.h"
#include "session/system_random.h"
#include "os/system_error.h"
#include "transport/udp_transport.h"

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

bool IsRequestPdu(const MessageCapabilities& capabilities, uint8_t pduType)
{
    if (pduType == PDU_GETBULK) {
        return capabilities.bulk;
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

enum class WaitOutcome { Answered, NoAnswer, Failed };

// Waits for the answer until the deadline. A dropped datagram never moves the
// deadline; once it has passed, the first dropped datagram ends the wait, so
// that a stream of strangers cannot keep us here. Only a datagram from the
// agent's own address and port can be the answer (anyone can send to our port).
// An unproven report does not end the wait: what it claims is kept in
// `claim`, and the authentic answer it may have been forged to hide can
// still come. Nor does the system's report of an unreachable agent: it may
// be a late one about an earlier try, and anyone can forge one; its errno
// is kept in `unreachable`.
WaitOutcome AwaitAnswer(SnmpMgrSession& session, TransportClock::time_point deadline,
                        const AwaitedAnswer& awaited, IncomingMessage& answer, AnswerKind& kind,
                        uint32_t& claim, int& unreachable)
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
        if (outcome == ReceiveOutcome::Unreachable) {
            unreachable = errno;
        } else if (IsSameEndpoint(session.agent, from, fromLength)) {
            kind = MatchAnswer(*session.model, awaited, session.receiveBuffer.data(), size, answer);
            if (kind == AnswerKind::UnprovenReport) {
                claim = session.model->ReportCode(answer);
                FreeIncoming(answer);
            } else if (kind != AnswerKind::NotAnswer) {
                return WaitOutcome::Answered;
            }
        }
        if (TransportClock::now() >= deadline) {
            return WaitOutcome::NoAnswer;
        }
    }
}

// Sends the prepared datagram once per attempt and waits a full time-out
// after each. Every attempt carries the same IDs, so an answer to an earlier
// attempt that comes late still completes the request. Without an answer,
// what an unproven report claimed is the failure; else, when every attempt
// met a report of an unreachable agent, the last one's; else the time-out.
uint32_t Exchange(SnmpMgrSession& session, const AwaitedAnswer& awaited, IncomingMessage& answer,
                  AnswerKind& kind)
{
    const std::vector<uint8_t>& datagram = session.sendBuffer;
    // Refused before sending: no agent could take it.
    if (datagram.size() > kMaxSnmpMessageSize) {
        return ERROR_MESSAGE_TOO_BIG;
    }
    uint32_t claim = 0;
    int unreachable = 0;
    bool everyAttemptUnreachable = true;
    for (int64_t attempt = 0; attempt <= session.retries; ++attempt) {
        SendOutcome sent =
            UdpSend(session.socketFd, session.agent.address,
                    session.connected ? 0 : session.agent.length, datagram.data(), datagram.size());
        if (sent == SendOutcome::Failed) {
            return SNMP_MGMTAPI_SELECT_FDERRORS;
        }
        TransportClock::time_point deadline = TransportClock::now() + session.timeout;
        int reported = 0;
        WaitOutcome outcome =
            AwaitAnswer(session, deadline, awaited, answer, kind, claim, reported);
        if (outcome == WaitOutcome::Answered) {
            return 0;
        }
        if (outcome == WaitOutcome::Failed) {
            return SNMP_MGMTAPI_SELECT_FDERRORS;
        }
        everyAttemptUnreachable = everyAttemptUnreachable && reported != 0;
        unreachable = reported;
    }
    if (claim != 0) {
        return ERROR_USM_UNPROVEN_BASE + claim;
    }
    if (!everyAttemptUnreachable) {
        return SNMP_MGMTAPI_TIMEOUT;
    }
    return unreachable == ECONNREFUSED ? ERROR_AGENT_REFUSED : ERROR_AGENT_NO_ROUTE;
}

SnmpMgrSession* OpenSession(const char* agent, std::unique_ptr<MessageModel> model,
                            int32_t timeoutMs, int32_t retries)
{
    if (model == nullptr) {
        return nullptr;
    }
    AgentAddress address;
    if (!ResolveAgentAddress(agent, address)) {
        return nullptr;
    }
    SnmpMgrSession* session = nullptr;
    try {
        session = new SnmpMgrSession;
        session->receiveBuffer.resize(kReceiveBufferSize);
    } catch (const std::bad_alloc&) {
        delete session;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    session->model = std::move(model);
    session->timeout = std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    session->retries = retries < 0 ? 0 : retries;
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

// RFC 3414 section 4: the engine is learnt from the report that answers a
// request without user or engine ID.
uint32_t Discover(SnmpMgrSession& session)
{
    MessageModel& model = *session.model;
    int32_t msgId = 0;
    if (!model.PrepareDiscovery(session.sendBuffer, msgId)) {
        return GetLastError();
    }
    IncomingMessage report;
    AnswerKind kind = AnswerKind::NotAnswer;
    uint32_t code = Exchange(session, {msgId, msgId, 0, false, true}, report, kind);
    if (code != 0) {
        return code;
    }
    code = model.LearnEngine(report);
    FreeIncoming(report);
    return code;
}

// Sends `request` and fills `answer` with its Response, discovering the
// agent's engine first where the model needs one. A report that refused the
// request is remedied once where the model can (a new engine time, a new
// discovery: the agent may have been replaced); so is a claim of an unknown
// engine that no authentic answer belied, since our own discovery's answer is
// all that is then believed. 0, or the code of the failure.
uint32_t Converse(SnmpMgrSession& session, const SnmpPdu& request, AwaitedAnswer awaited,
                  IncomingMessage& answer)
{
    MessageModel& model = *session.model;
    if (model.NeedsDiscovery()) {
        const uint32_t code = Discover(session);
        if (code != 0) {
            return code;
        }
    }
    for (bool remedied = false;; remedied = true) {
        if (!model.Prepare(request, session.sendBuffer, awaited.msgId)) {
            return GetLastError();
        }
        AnswerKind kind = AnswerKind::NotAnswer;
        uint32_t code = Exchange(session, awaited, answer, kind);
        if (code == ERROR_USM_UNPROVEN_BASE + ERROR_USM_UNKNOWN_ENGINE && !remedied) {
            code = Discover(session);
            if (code != 0) {
                return code;
            }
            continue;
        }
        if (code != 0 || kind == AnswerKind::Response) {
            return code;
        }
        code = model.ReportCode(answer);
        const ReportRemedy remedy = remedied ? ReportRemedy::GiveUp : model.RemedyFor(answer, code);
        FreeIncoming(answer);
        if (remedy == ReportRemedy::GiveUp) {
            return code;
        }
        if (remedy == ReportRemedy::Rediscover) {
            code = Discover(session);
            if (code != 0) {
                return code;
            }
        }
    }
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
    if (agent == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return nullptr;
    }
    return OpenSession(agent, MakeCommunityModel(version, community), timeoutMs, retries);
}

SnmpMgrSession* SnmpMgrOpenUser(const char* agent, UsmUser* user, int32_t timeoutMs,
                                int32_t retries)
{
    if (agent == nullptr || user == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return nullptr;
    }
    return OpenSession(agent, MakeUserModel(std::move(*user)), timeoutMs, retries);
}

int SnmpMgrSetContext(SnmpMgrSession* session, const uint8_t* engineId, size_t engineIdSize,
                      const char* name)
{
    if (session == nullptr || name == nullptr || (engineId == nullptr && engineIdSize != 0)) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    try {
        return session->model->SetContext(std::vector<uint8_t>(engineId, engineId + engineIdSize),
                                          name)
                   ? 1
                   : 0;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

const MessageCapabilities* SnmpMgrVersionCapabilities(int32_t version)
{
    return CapabilitiesOfVersion(version);
}

const char* SnmpMgrVersionWord(int32_t version)
{
    return WordOfVersion(version);
}

// On success the list takes the answer's bindings, in order; an answer whose
// bindings do not match the request's one for one is dropped like any other
// stranger. Nothing of the list changes on failure.
int SnmpMgrRequest(SnmpMgrSession* session, uint8_t pduType, SnmpVarBindList* list,
                   int32_t* errorStatus, int32_t* errorIndex)
{
    if (session == nullptr || list == nullptr || errorStatus == nullptr || errorIndex == nullptr ||
        !IsRequestPdu(session->model->Capabilities(), pduType) ||
        (list->count > 0 && list->bindings == nullptr)) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    const bool bulk = pduType == PDU_GETBULK;
    SnmpPdu request;
    request.pduType = pduType;
    request.requestId = NextRequestId();
    // GETBULK's non-repeaters and max-repetitions travel where the other
    // requests carry a zero error status and index.
    request.errorStatus = bulk ? *errorStatus : 0;
    request.errorIndex = bulk ? *errorIndex : 0;
    request.bindings = *list;  // borrowed while prepared
    const AwaitedAnswer awaited = {0, request.requestId,
                                   MostBindingsAnswered(pduType, *list, *errorStatus, *errorIndex),
                                   !bulk, false};
    IncomingMessage answer;
    uint32_t failure = 0;
    try {
        failure = Converse(*session, request, awaited, answer);
    } catch (const std::bad_alloc&) {
        failure = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (failure == 0 && !DropBindingsFrom(answer.pdu.bindings, awaited.bindingCount)) {
        FreeIncoming(answer);
        failure = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (failure != 0) {
        SetLastError(failure);
        return 0;
    }
    SnmpUtilVarBindListFree(list);
    *list = answer.pdu.bindings;
    answer.pdu.bindings = {nullptr, 0};
    *errorStatus = answer.pdu.errorStatus;
    *errorIndex = answer.pdu.errorIndex;
    FreeIncoming(answer);
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
