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

struct Flight {
    size_t agent;
    AgentAddress address;
    int32_t attemptsLeft;
    uint32_t bindingCount;  // exactly, or for GETBULK at most
    bool countIsExact;
    std::vector<uint8_t> datagram;
};

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
    FleetLoop(const AgentList& list, const std::vector<MessageModel*>& models,
              const FleetSettings& settings, FleetConversation& conversation)
        : list_(list), models_(models), settings_(settings), conversation_(conversation),
          // Random and positive, as a single session's IDs (some agents
          // mishandle negative ones), and far from wrapping.
          nextId_(static_cast<int32_t>(RandomSeed() & 0x3FFFFFFFu) + 1)
    {
        flights_.reserve(std::max<uint32_t>(settings.window, 1));
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

    // Prepares the agent's next request and queues it; an agent with nothing
    // more to ask, or whose request cannot go, makes room for the next one.
    void Ask(size_t agent)
    {
        for (;;) {
            FleetAsk ask{};
            if (!conversation_.NextRequest(agent, ask)) {
                return;
            }
            const bool bulk = ask.pduType == PDU_GETBULK;
            SnmpPdu pdu;
            pdu.pduType = ask.pduType;
            pdu.requestId = TakeRequestId();
            // GETBULK's non-repeaters and max-repetitions travel where the
            // other requests carry a zero error status and index.
            pdu.errorStatus = bulk ? ask.nonRepeaters : 0;
            pdu.errorIndex = bulk ? ask.maxRepetitions : 0;
            pdu.bindings = *ask.bindings;  // borrowed while prepared
            Flight flight{agent, AddressOf(list_.agents[agent]),
                          settings_.retries < 0 ? 0 : settings_.retries,
                          AnswerBindings(ask), !bulk, {}};
            int32_t msgId = 0;
            MessageModel& model = *models_[list_.agents[agent].community];
            if (!model.Prepare(pdu, flight.datagram, msgId)) {
                conversation_.Failed(agent, GetLastError());
                continue;
            }
            if (flight.datagram.size() > kMaxSnmpMessageSize) {
                conversation_.Failed(agent, ERROR_MESSAGE_TOO_BIG);
                continue;
            }
            flights_.emplace(msgId, std::move(flight));
            outbox_.push_back(msgId);
            return;
        }
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
                batch_.push_back({&agent.address, agent.length, flight.datagram.data(),
                                  flight.datagram.size()});
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
        conversation_.Failed(agent, code);
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
        // Every model of the fleet is of one version: any of them reads the header.
        if (!models_[0]->Peek(datagram.buffer, datagram.size, header)) {
            return;
        }
        auto found = flights_.find(header.msgId);
        if (found == flights_.end()) {
            return;
        }
        Flight& flight = found->second;
        const ListedAgent& agent = list_.agents[flight.agent];
        // Anyone can send to our port: only the agent's own address and port answers.
        if (!IsSameEndpoint(flight.address, datagram.from, datagram.fromLength)) {
            return;
        }
        IncomingMessage incoming;
        const AwaitedAnswer awaited = {header.msgId, header.msgId, flight.bindingCount,
                                       flight.countIsExact};
        if (MatchAnswer(*models_[agent.community], awaited, datagram.buffer, datagram.size,
                        incoming) != AnswerKind::Response) {
            return;
        }
        const size_t index = flight.agent;
        flights_.erase(found);
        conversation_.Answered(index, incoming.pdu);
        FreeIncoming(incoming);
        Ask(index);
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
                Finish(id, SNMP_MGMTAPI_TIMEOUT);
                continue;
            }
            // The same IDs again, so that a late answer to the first attempt still counts.
            --found->second.attemptsLeft;
            outbox_.push_back(id);
        }
    }

    const AgentList& list_;
    const std::vector<MessageModel*>& models_;
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

bool ExchangeWithFleet(const AgentList& list, const std::vector<MessageModel*>& models,
                       const FleetSettings& settings, FleetConversation& conversation)
{
    if (models.empty()) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return false;
    }
    try {
        FleetLoop loop(list, models, settings, conversation);
        return loop.Run();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
}
