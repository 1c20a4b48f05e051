#include "serve.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <deque>
#include <thread>

#include "request_log.h"
#include "udp_endpoint.h"
#include "transport/udp_transport.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnStopSignal(int)
{
    g_stop = 1;
}

// Without SA_RESTART, so that a signal cuts a wait short.
void InstallStopHandlers()
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// Short slices, so that a stop signal during a long delay is heeded soon.
void SleepUnlessStopped(int milliseconds)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (g_stop == 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool IsRequest(const SnmpMessage& request)
{
    const uint8_t pduType = request.pdu.pduType;
    if (pduType == PDU_GETBULK) {
        return CommunityCapabilities(request.version)->bulk;
    }
    return pduType == PDU_GET || pduType == PDU_GETNEXT || pduType == PDU_SET;
}

// Where an answer leaves from: the agent's one socket, or in the many-agent
// mode the address the request went to, at once or after the slow share's delay.
struct Origin {
    bool manyAgents = false;
    in_addr local{};
    uint32_t delayMs = 0;
};

struct LateAnswer {
    std::chrono::steady_clock::time_point due;
    std::vector<uint8_t> bytes;
    sockaddr_storage to;
    socklen_t toLength;
    in_addr from;
};

bool Applies(uint32_t nth, uint32_t count)
{
    return nth == Misbehaviour::kEvery || nth == count;
}

class Agent {
public:
    Agent(const ServeOptions& options, ObjectStore& store, int fd, int otherFd, FILE* log)
        : options_(options), store_(store), fd_(fd), otherFd_(otherFd), log_(log)
    {
    }

    void Run()
    {
        if (options_.many.count > 0) {
            RunMany();
            return;
        }
        std::vector<uint8_t> buffer(65536);
        while (g_stop == 0) {
            pollfd waiting = {fd_, POLLIN, 0};
            int ready = poll(&waiting, 1, 100);
            if (ready <= 0) {
                continue;
            }
            sockaddr_storage from{};
            socklen_t fromLength = sizeof from;
            ssize_t size = recvfrom(fd_, buffer.data(), buffer.size(), 0,
                                    reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (size < 0) {
                continue;
            }
            Handle(buffer.data(), static_cast<size_t>(size), from, fromLength, Origin());
        }
    }

private:
    // Every datagram that waits is taken before the next wait, and the slow
    // agents' answers go when due, so that no agent holds up another.
    void RunMany()
    {
        const ManyAgents& many = options_.many;
        const auto started = std::chrono::steady_clock::now();
        std::vector<uint8_t> buffer(65536);
        while (g_stop == 0) {
            int waitMs = 100;
            if (!late_.empty()) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    late_.front().due - std::chrono::steady_clock::now());
                waitMs =
                    static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(100, left.count())));
            }
            pollfd waiting = {fd_, POLLIN, 0};
            poll(&waiting, 1, waitMs);
            SendDue();
            sockaddr_storage from{};
            socklen_t fromLength = 0;
            size_t size = 0;
            in_addr to{};
            uint32_t index = 0;
            while (ReceiveWithDestination(fd_, buffer, size, from, fromLength, to)) {
                if (!AgentIndexOf(many, to, index) || InShare(index, many.deadPercent)) {
                    continue;
                }
                const auto up = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - started);
                NameAgent(store_, to, static_cast<uint32_t>(up.count() / 10));
                Origin origin{true, to,
                              InShare(many.count - 1 - index, many.slowPercent) ? many.slowMs : 0};
                Handle(buffer.data(), size, from, fromLength, origin);
            }
        }
    }

    void SendDue()
    {
        const auto now = std::chrono::steady_clock::now();
        while (!late_.empty() && late_.front().due <= now) {
            const LateAnswer& late = late_.front();
            SendFromAddress(fd_, late.bytes, late.to, late.toLength, late.from);
            late_.pop_front();
        }
    }

    void Send(const std::vector<uint8_t>& bytes, const sockaddr_storage& to, socklen_t length,
              const Origin& origin)
    {
        if (!origin.manyAgents) {
            SendTo(fd_, bytes, to, length);
        } else if (origin.delayMs == 0) {
            SendFromAddress(fd_, bytes, to, length, origin.local);
        } else {
            // One delay for every slow agent: the queue stays in order of due time.
            late_.push_back(
                {std::chrono::steady_clock::now() + std::chrono::milliseconds(origin.delayMs),
                 bytes, to, length, origin.local});
        }
    }

    void Handle(const uint8_t* data, size_t size, const sockaddr_storage& from,
                socklen_t fromLength, const Origin& origin)
    {
        SnmpMessage request;
        if (!DecodeMessage(data, size, request)) {
            WriteLogLine(log_, "MALFORMED " + std::to_string(size));
            return;
        }
        // The community framing of a version that has no community is no
        // message of ours either.
        if (CommunityCapabilities(request.version) == nullptr) {
            FreeMessage(request);
            WriteLogLine(log_, "MALFORMED " + std::to_string(size));
            return;
        }
        WriteLogLine(log_, RequestLogLine(request, data, size));
        std::vector<uint8_t> answer;
        Reply reply;
        bool answered = Answer(request, reply, answer);
        std::string community = request.community;
        FreeMessage(request);
        if (!answered) {
            return;
        }
        const Misbehaviour& behaviour = options_.behaviour;
        if (behaviour.delayMs > 0) {
            SleepUnlessStopped(behaviour.delayMs);
        }
        for (const std::vector<uint8_t>& bad :
             DatagramsBefore(behaviour, reply, community, answer)) {
            Send(bad, from, fromLength, origin);
        }
        if (behaviour.otherPortFirst && otherFd_ >= 0) {
            SendTo(otherFd_, ImpostorAnswer(reply, community, reply.requestId), from, fromLength);
        }
        Send(BendAnswer(behaviour, answer), from, fromLength, origin);
    }

    // Builds the encoded answer; false when the request goes unanswered.
    bool Answer(const SnmpMessage& request, Reply& reply, std::vector<uint8_t>& answer)
    {
        const HandlerSettings& settings = options_.handler;
        const Misbehaviour& behaviour = options_.behaviour;
        // Unknown communities are ignored, as RFC 1157 section 4.1 has it (no
        // authentication trap is sent by this agent).
        bool known = request.community == settings.readCommunity ||
                     request.community == settings.writeCommunity;
        if (!IsRequest(request) || !known) {
            return false;
        }
        ++requests_;
        if (behaviour.silent || requests_ <= behaviour.dropFirst) {
            return false;
        }
        std::vector<AgentObject> asked = EchoBindings(request);
        int32_t forced = ErrorAtStatus(behaviour, asked);
        const bool bulk = request.pdu.pduType == PDU_GETBULK;
        if (bulk && behaviour.tooBigBulk != 0 &&
            request.pdu.errorIndex > static_cast<int32_t>(behaviour.tooBigBulk)) {
            forced = SNMP_ERROR_TOOBIG;
        }
        if (forced >= 0) {
            reply.version = request.version;
            reply.requestId = request.pdu.requestId;
            reply.errorStatus = forced;
            reply.errorIndex = 1;
            reply.bindings = asked;
        } else {
            reply = AnswerRequest(request, store_, settings);
        }
        if ((request.pdu.pduType == PDU_GETNEXT || bulk) &&
            reply.errorStatus == SNMP_ERROR_NOERROR) {
            BendGetNext(asked, reply);
        }
        if (behaviour.wrongVersion) {
            reply.version = request.version == SNMP_VERSION_1 ? SNMP_VERSION_2C : SNMP_VERSION_1;
        }
        if (behaviour.extraBinding && !reply.bindings.empty()) {
            reply.bindings.push_back(reply.bindings.back());
        }
        if (behaviour.missingBinding && !reply.bindings.empty()) {
            reply.bindings.pop_back();
        }
        bool encoded = behaviour.oversized > 0
                           ? PadAnswer(reply, request.community, behaviour.oversized, answer)
                           : EncodeWithinLimit(request, reply, settings, answer);
        if (encoded && behaviour.wrongPduType) {
            encoded = EncodeReply(reply, request.community, PDU_GET, answer);
        }
        if (!encoded) {
            std::fprintf(stderr, "snmp-test-agent: an answer could not be encoded\n");
        }
        return encoded;
    }

    void BendGetNext(const std::vector<AgentObject>& asked, Reply& reply)
    {
        const Misbehaviour& behaviour = options_.behaviour;
        ++getNexts_;
        // A GETBULK answer is bent in its first bindings, one per name asked.
        if (behaviour.stuckGetnext != 0 && Applies(behaviour.stuckGetnext, getNexts_)) {
            for (size_t i = 0; i < reply.bindings.size() && i < asked.size(); ++i) {
                reply.bindings[i].name = asked[i].name;
            }
        }
        if (behaviour.backwardsGetnext != 0 && Applies(behaviour.backwardsGetnext, getNexts_)) {
            std::optional<AgentObject> first = store_.Next(Oid());
            for (size_t i = 0; i < reply.bindings.size() && i < asked.size(); ++i) {
                if (first) {
                    reply.bindings[i] = *first;
                }
            }
        }
    }

    void SendTo(int fd, const std::vector<uint8_t>& bytes, const sockaddr_storage& to,
                socklen_t length)
    {
        sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), length);
    }

    const ServeOptions& options_;
    ObjectStore& store_;
    int fd_;
    int otherFd_;
    FILE* log_;
    uint32_t requests_ = 0;
    uint32_t getNexts_ = 0;
    std::deque<LateAnswer> late_;
};

// The many-agent mode's socket: the listen address is the first agent's, and
// every agent's address must stay within 127.0.0.0/8.
int BindAgents(const Endpoint& endpoint, ManyAgents& many, std::string& why)
{
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(endpoint.address);
    many.first = ntohl(v4.sin_addr.s_addr);
    if (endpoint.address.ss_family != AF_INET ||
        ((static_cast<uint64_t>(many.first) + many.count - 1) >> 24) != 127) {
        why = "--agents wants an IPv4 listen address with room for them in 127.0.0.0/8";
        return -1;
    }
    return BindManyAgents(ntohs(v4.sin_port), why);
}

}  // namespace

int Serve(const ServeOptions& options)
{
    std::string why;
    ObjectStore store;
    if (!options.objectsFile.empty() && !store.LoadFile(options.objectsFile, why)) {
        std::fprintf(stderr, "snmp-test-agent: %s\n", why.c_str());
        return 2;
    }
    if (options.tableRows > 0) {
        store.AddTable(options.tableBase, options.tableRows);
    }
    Endpoint endpoint;
    if (!ParseLoopbackEndpoint(options.listen, endpoint, why)) {
        std::fprintf(stderr, "snmp-test-agent: %s\n", why.c_str());
        return 2;
    }
    FILE* log = nullptr;
    if (!options.logFile.empty()) {
        log = std::fopen(options.logFile.c_str(), "a");
        if (log == nullptr) {
            std::fprintf(stderr, "snmp-test-agent: cannot open log %s\n", options.logFile.c_str());
            return 2;
        }
    }
    ServeOptions serving = options;
    int fd =
        options.many.count > 0 ? BindAgents(endpoint, serving.many, why) : BindUdp(endpoint, why);
    int otherFd = -1;
    if (fd >= 0 && options.behaviour.otherPortFirst) {
        otherFd = BindUdp(AnyPortLike(endpoint), why);
    }
    if (fd < 0 || (options.behaviour.otherPortFirst && otherFd < 0)) {
        std::fprintf(stderr, "snmp-test-agent: %s\n", why.c_str());
        if (log != nullptr) {
            std::fclose(log);
        }
        if (fd >= 0) {
            close(fd);
        }
        return 2;
    }
    InstallStopHandlers();
    std::printf("ready %u\n", static_cast<unsigned>(UdpBoundPort(fd)));
    std::fflush(stdout);
    Agent agent(serving, store, fd, otherFd, log);
    agent.Run();
    close(fd);
    if (otherFd >= 0) {
        close(otherFd);
    }
    if (log != nullptr) {
        std::fclose(log);
    }
    return 0;
}
