// The fleet's event loop: fill the window, send in batches, wait for the
// first of an answer and the nearest deadline, take answers in batches,
// resend or give up what timed out. Every agent has the same time-out, so
// the deadlines fall in the order the datagrams went out and one queue
// keeps them.
#include "session/fleet_exchange.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <new>
#include <unordered_map>

#include "os/system_error.h"
#include "session/answer_match.h"
#include "session/listed_address.h"
#include "session/system_random.h"
#include "transport/udp_batch.h"
#include "transport/udp_transport.h"
#include "values/last_error.h"

namespace {

constexpr int kSocketBufferBytes = 4 << 20;
constexpr size_t kReceiveSlots = 64;

// One agent's request on its way: the discovery of its engine first where
// its model needs one, then the request itself, each with its own attempts.
struct Flight {
    size_t agent;
    AgentAddress address;
    SnmpPdu request;        // its bindings borrowed from the conversation
    uint32_t bindingCount;  // exactly, or for GETBULK at most
    bool countIsExact;
    bool discovering = false;
    bool remedied = false;  // a report was remedied once already
    int32_t attemptsLeft = 0;
    std::vector<uint8_t> datagram;
    // What an unauthenticated report claimed (ERROR_USM_*), told only if no
    // authentic answer comes.
    uint32_t claim = 0;
};

// How often a message ID already in flight for another agent is replaced.
constexpr int kIdTries = 4;

// How many bindings the answer holds: one for one, or for GETBULK at most
// the non-repeaters and max-repetitions of each other binding (RFC 3416
// section 4.2.3), never fewer than an error answer echoes.
uint32_t AnswerBindings(const FleetAsk& ask)
{
    const uint64_t count = ask.bindings->count;
    if (ask.pduType != PDU_GETBULK) {
        return static_cast<uint32_t>(count);
    }
    const uint64_t single = std::min<uint64_t>(std::max(ask.nonRepeaters, 0), count);
    const uint64_t most = single + (count - single) * std::max(ask.maxRepetitions, 0);
    return static_cast<uint32_t>(std::min<uint64_t>(std::max(most, count), UINT32_MAX));
}

struct Expiry {
    TransportClock::time_point deadline;
    int32_t requestId;
};

class FleetLoop {
public:
    FleetLoop(const AgentList& list, FleetModels& models, const FleetSettings& settings,
              FleetConversation& conversation)
        : list_(list), models_(models), settings_(settings), conversation_(conversation),
          // Random and positive, as a single session's IDs (some agents
          // mishandle negative ones), and far from wrapping.
          nextId_(static_cast<int32_t>(RandomSeed() & 0x3FFFFFFFu) + 1)
    {
        flights_.reserve(std::min<size_t>(Window(), list.agents.size()));
    }

    ~FleetLoop()
    {
        for (int fd : sockets_) {
            UdpClose(fd);
        }
    }

    bool Run()
    {
        slots_.resize(kReceiveSlots);
        buffers_.resize(kReceiveSlots * kReceiveBufferSize);
        for (size_t i = 0; i < kReceiveSlots; ++i) {
            slots_[i].buffer = buffers_.data() + i * kReceiveBufferSize;
            slots_[i].capacity = kReceiveBufferSize;
        }
        started_ = TransportClock::now();
        while ((nextAgent_ < list_.agents.size() || !flights_.empty()) &&
               !conversation_.Stopping()) {
            Fill();
            Flush();
            if (!Wait()) {
                return false;
            }
            Expire();
        }
        return true;
    }

private:
    size_t Window() const
    {
        return std::max<uint32_t>(settings_.window, 1);
    }

    // When the rate cap lets the next datagram go.
    TransportClock::time_point NextSendTime() const
    {
        if (settings_.ratePerSecond == 0) {
            return started_;
        }
        // What waits in the outbox goes out before the next one.
        const uint64_t going = sent_ + outbox_.size();
        const auto offset = std::chrono::microseconds(going * 1000000 / settings_.ratePerSecond);
        return started_ + std::chrono::duration_cast<TransportClock::duration>(offset);
    }

    void Fill()
    {
        while (flights_.size() < Window() && nextAgent_ < list_.agents.size() &&
               TransportClock::now() >= NextSendTime()) {
            Ask(nextAgent_++);
        }
    }

    int SocketFor(const AgentAddress& agent)
    {
        const int family = agent.address.ss_family;
        const size_t index = family == AF_INET6 ? 1 : 0;
        if (sockets_[index] < 0) {
            sockets_[index] = UdpOpen(family);
            if (sockets_[index] >= 0) {
                UdpEnlargeBuffers(sockets_[index], kSocketBufferBytes);
            }
        }
        return sockets_[index];
    }

    int32_t TakeRequestId()
    {
        const int32_t id = nextId_;
        nextId_ = nextId_ == INT32_MAX ? 1 : nextId_ + 1;
        return id;
    }

    // Queues the agent's next request; an agent with nothing more to ask,
    // or whose request cannot go, makes room for the next one.
    void Ask(size_t agent)
    {
        for (;;) {
            FleetAsk ask{};
            if (!conversation_.NextRequest(agent, ask)) {
                models_.Release(agent);
                return;
            }
            MessageModel* model = models_.ModelFor(agent);
            if (model == nullptr) {
                Fail(agent, GetLastError());
                continue;
            }
            const bool bulk = ask.pduType == PDU_GETBULK;
            Flight flight{agent, AddressOf(list_.agents[agent]),
                          {},    AnswerBindings(ask),
                          !bulk, false,
                          false, 0,
                          {}};
            flight.request.pduType = ask.pduType;
            flight.request.requestId = TakeRequestId();
            // GETBULK's non-repeaters and max-repetitions travel where the
            // other requests carry a zero error status and index.
            flight.request.errorStatus = bulk ? ask.nonRepeaters : 0;
            flight.request.errorIndex = bulk ? ask.maxRepetitions : 0;
            flight.request.bindings = *ask.bindings;
            flight.discovering = model->NeedsDiscovery();
            if (Queue(*model, std::move(flight))) {
                return;
            }
        }
    }

    // Prepares the flight's datagram (the discovery or the request) under a
    // message ID no other flight holds, and queues it with all its attempts.
    // False when it cannot go: the agent has failed.
    bool Queue(MessageModel& model, Flight&& flight)
    {
        flight.attemptsLeft = settings_.retries < 0 ? 0 : settings_.retries;
        for (int tries = 0; tries < kIdTries; ++tries) {
            int32_t msgId = 0;
            const bool prepared = flight.discovering
                                      ? model.PrepareDiscovery(flight.datagram, msgId)
                                      : model.Prepare(flight.request, flight.datagram, msgId);
            if (!prepared) {
                Fail(flight.agent, GetLastError());
                return false;
            }
            if (flight.datagram.size() > kMaxSnmpMessageSize) {
                Fail(flight.agent, ERROR_MESSAGE_TOO_BIG);
                return false;
            }
            if (flights_.find(msgId) == flights_.end()) {
                flights_.emplace(msgId, std::move(flight));
                outbox_.push_back(msgId);
                return true;
            }
        }
        Fail(flight.agent, ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }

    void Fail(size_t agent, uint32_t code)
    {
        conversation_.Failed(agent, code);
        models_.Release(agent);
    }

    // Sends what waits, one batch per socket, and starts each one's clock.
    // Without a socket of their family (no IPv6 here, no descriptors left)
    // the agents fail, and the others go on.
    void Flush()
    {
        for (size_t family = 0; family < 2 && !outbox_.empty(); ++family) {
            batch_.clear();
            batchIds_.clear();
            for (int32_t id : outbox_) {
                auto found = flights_.find(id);
                // Gone when the other family's batch ended it.
                if (found == flights_.end()) {
                    continue;
                }
                const Flight& flight = found->second;
                const AgentAddress& agent = flight.address;
                if ((agent.address.ss_family == AF_INET6 ? 1u : 0u) != family) {
                    continue;
                }
                batch_.push_back(
                    {&agent.address, agent.length, flight.datagram.data(), flight.datagram.size()});
                batchIds_.push_back(id);
            }
            if (batch_.empty()) {
                continue;
            }
            const int fd = SocketFor(flights_.at(batchIds_[0]).address);
            if (fd < 0) {
                for (int32_t id : batchIds_) {
                    Finish(id, SNMP_MGMTAPI_SELECT_FDERRORS);
                }
                continue;
            }
            SendBatch(fd);
        }
        outbox_.clear();
    }

    void SendBatch(int fd)
    {
        size_t from = 0;
        while (from < batch_.size()) {
            size_t failedAt = batch_.size() - from;
            UdpSendMany(fd, batch_.data() + from, batch_.size() - from, failedAt);
            const size_t end = from + std::min(failedAt, batch_.size() - from);
            const TransportClock::time_point deadline = TransportClock::now() + settings_.timeout;
            for (size_t i = from; i < end; ++i) {
                expiries_.push_back({deadline, batchIds_[i]});
            }
            sent_ += end - from;
            if (end == batch_.size()) {
                return;
            }
            // The system refused this one outright (no route, say): that agent failed.
            Finish(batchIds_[end], SNMP_MGMTAPI_SELECT_FDERRORS);
            from = end + 1;
        }
    }

    // Ends a flight that failed and lets the window take the next agent.
    void Finish(int32_t id, uint32_t code)
    {
        const size_t agent = flights_.at(id).agent;
        flights_.erase(id);
        Fail(agent, code);
    }

    bool Wait()
    {
        TransportClock::time_point until = TransportClock::now() + std::chrono::milliseconds(100);
        if (!expiries_.empty()) {
            until = std::min(until, expiries_.front().deadline);
        }
        if (flights_.size() < Window() && nextAgent_ < list_.agents.size()) {
            until = std::min(until, NextSendTime());
        }
        int fds[2];
        size_t count = 0;
        for (int fd : sockets_) {
            if (fd >= 0) {
                fds[count++] = fd;
            }
        }
        if (count == 0) {
            return true;
        }
        bool readable[2] = {false, false};
        if (!UdpWaitAny(fds, readable, count, MillisecondsLeft(until))) {
            SetLastErrorFromErrno(errno);
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            if (readable[i] && !Drain(fds[i])) {
                return false;
            }
        }
        return true;
    }

    // Takes every datagram that waits on the socket, a batch a call.
    bool Drain(int fd)
    {
        for (;;) {
            const int got = UdpReceiveMany(fd, slots_.data(), slots_.size());
            if (got < 0) {
                SetLastErrorFromErrno(errno);
                return false;
            }
            for (int i = 0; i < got; ++i) {
                Take(slots_[static_cast<size_t>(i)]);
            }
            if (static_cast<size_t>(got) < slots_.size()) {
                return true;
            }
        }
    }

    void Take(const IncomingDatagram& datagram)
    {
        MessageHeader header{};
        if (!models_.Reader().Peek(datagram.buffer, datagram.size, header)) {
            return;
        }
        auto found = flights_.find(header.msgId);
        if (found == flights_.end()) {
            return;
        }
        const Flight& flight = found->second;
        // Anyone can send to our port: only the agent's own address and port answers.
        if (!IsSameEndpoint(flight.address, datagram.from, datagram.fromLength)) {
            return;
        }
        MessageModel& model = *models_.ModelFor(flight.agent);
        // A discovery is answered by a report carrying its message ID alone.
        const AwaitedAnswer awaited =
            flight.discovering ? AwaitedAnswer{header.msgId, header.msgId, 0, false, true}
                               : AwaitedAnswer{header.msgId, flight.request.requestId,
                                               flight.bindingCount, flight.countIsExact, false};
        IncomingMessage incoming;
        const AnswerKind kind =
            MatchAnswer(model, awaited, datagram.buffer, datagram.size, incoming);
        if (kind == AnswerKind::NotAnswer) {
            return;
        }
        // Anyone who saw the message ID go by could have forged it: the
        // agent's authentic answer may still come.
        if (kind == AnswerKind::UnprovenReport) {
            found->second.claim = model.ReportCode(incoming);
            FreeIncoming(incoming);
            return;
        }
        Flight taken = std::move(found->second);
        flights_.erase(found);
        if (taken.discovering) {
            Discovered(model, std::move(taken), incoming);
        } else if (kind == AnswerKind::Response) {
            conversation_.Answered(taken.agent, incoming.pdu);
            FreeIncoming(incoming);
            Ask(taken.agent);
        } else {
            Reported(model, std::move(taken), incoming);
        }
    }

    // RFC 3414 section 4: the engine is learnt from the report that answers
    // a discovery; the request goes next.
    void Discovered(MessageModel& model, Flight&& flight, IncomingMessage& report)
    {
        const uint32_t code = model.LearnEngine(report);
        FreeIncoming(report);
        if (code != 0) {
            Fail(flight.agent, code);
            return;
        }
        flight.discovering = false;
        Queue(model, std::move(flight));
    }

    // A report that refused the request is remedied once where the model can
    // (a new engine time, a new discovery); otherwise the agent has failed.
    void Reported(MessageModel& model, Flight&& flight, IncomingMessage& report)
    {
        const uint32_t code = model.ReportCode(report);
        const ReportRemedy remedy =
            flight.remedied ? ReportRemedy::GiveUp : model.RemedyFor(report, code);
        FreeIncoming(report);
        if (remedy == ReportRemedy::GiveUp) {
            Fail(flight.agent, code);
            return;
        }
        flight.remedied = true;
        flight.discovering = remedy == ReportRemedy::Rediscover;
        Queue(model, std::move(flight));
    }

    void Expire()
    {
        const TransportClock::time_point now = TransportClock::now();
        while (!expiries_.empty() && expiries_.front().deadline <= now) {
            const int32_t id = expiries_.front().requestId;
            expiries_.pop_front();
            auto found = flights_.find(id);
            if (found == flights_.end()) {
                continue;  // answered in time
            }
            if (found->second.attemptsLeft == 0) {
                const uint32_t claim = found->second.claim;
                Finish(id, claim != 0 ? ERROR_USM_UNPROVEN_BASE + claim : SNMP_MGMTAPI_TIMEOUT);
                continue;
            }
            // The same IDs again, so that a late answer to the first attempt still counts.
            --found->second.attemptsLeft;
            outbox_.push_back(id);
        }
    }

    const AgentList& list_;
    FleetModels& models_;
    const FleetSettings& settings_;
    FleetConversation& conversation_;
    int32_t nextId_;
    size_t nextAgent_ = 0;
    uint64_t sent_ = 0;
    TransportClock::time_point started_;
    int sockets_[2] = {-1, -1};  // IPv4, IPv6
    std::unordered_map<int32_t, Flight> flights_;
    std::vector<int32_t> outbox_;
    std::deque<Expiry> expiries_;
    std::vector<OutgoingDatagram> batch_;
    std::vector<int32_t> batchIds_;
    std::vector<IncomingDatagram> slots_;
    std::vector<uint8_t> buffers_;
};

}  // namespace

bool ExchangeWithFleet(const AgentList& list, FleetModels& models, const FleetSettings& settings,
                       FleetConversation& conversation)
{
    try {
        FleetLoop loop(list, models, settings, conversation);
        return loop.Run();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
}
