// Manager sessions on the wire (the system's snmpd is asked through the
// program in test_request_session): against the test agent's silence and delays, and against a scripted responder in this process
// for the answers no agent sends on purpose (another port, request ID,
// community, version or PDU type). The hostile agents' answers are tested
// through the program in test_hostile_agents.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ber/ber_codec.h"
#include "snmp_api.h"
#include "test_processes.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// ---- Lists -----------------------------------------------------------------

AsnObjectIdentifier MakeOid(const std::string& dotted)
{
    std::vector<uint32_t> ids;
    std::stringstream words(dotted);
    std::string word;
    while (std::getline(words, word, '.')) {
        ids.push_back(static_cast<uint32_t>(std::stoul(word)));
    }
    AsnObjectIdentifier oid = {static_cast<uint32_t>(ids.size()), nullptr};
    oid.ids = static_cast<uint32_t*>(SnmpUtilMemAlloc(ids.size() * sizeof(uint32_t)));
    std::memcpy(oid.ids, ids.data(), ids.size() * sizeof(uint32_t));
    return oid;
}

std::string OidText(const AsnObjectIdentifier& oid)
{
    std::string text;
    for (uint32_t i = 0; i < oid.count; ++i) {
        text += (i == 0 ? "" : ".") + std::to_string(oid.ids[i]);
    }
    return text;
}

std::string BytesText(const AsnAny& value)
{
    return std::string(reinterpret_cast<const char*>(value.data.bytes.stream),
                       value.data.bytes.length);
}

// A list that owns itself: one binding per identifier, NULL values.
struct List {
    SnmpVarBindList list = {nullptr, 0};

    explicit List(const std::vector<std::string>& names)
    {
        list.count = static_cast<uint32_t>(names.size());
        list.bindings =
            static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(names.size() * sizeof(SnmpVarBind)));
        for (size_t i = 0; i < names.size(); ++i) {
            list.bindings[i].name = MakeOid(names[i]);
            list.bindings[i].value.tag = ASN_NULL;
        }
    }
    ~List()
    {
        SnmpUtilVarBindListFree(&list);
    }
    List(const List&) = delete;
    List& operator=(const List&) = delete;

    std::string Name(uint32_t index) const
    {
        return OidText(list.bindings[index].name);
    }
};

// ---- One request -----------------------------------------------------------

struct Outcome {
    int result = 0;
    uint32_t error = 0;
    int32_t status = -1;
    int32_t index = -1;
    milliseconds elapsed{0};
};

Outcome Request(SnmpMgrSession* session, uint8_t pduType, List& list)
{
    Outcome outcome;
    SetLastError(0);
    Clock::time_point start = Clock::now();
    outcome.result = SnmpMgrRequest(session, pduType, &list.list, &outcome.status, &outcome.index);
    outcome.elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    outcome.error = GetLastError();
    return outcome;
}

// Opens a session, sends one request, closes.
Outcome RequestOnce(const std::string& agent, const char* community, int32_t timeoutMs,
                    int32_t retries, uint8_t pduType, List& list)
{
    SnmpMgrSession* session = SnmpMgrOpen(agent.c_str(), community, timeoutMs, retries);
    if (session == nullptr) {
        ADD_FAILURE() << "SnmpMgrOpen(" << agent << ") failed: " << GetLastError();
        return Outcome{};
    }
    Outcome outcome = Request(session, pduType, list);
    EXPECT_EQ(SnmpMgrClose(session), 1);
    return outcome;
}

#define ASSERT_ANSWERED(outcome)                                                                   \
    ASSERT_EQ((outcome).result, 1)                                                                 \
        << "last error " << (outcome).error << " after " << (outcome).elapsed.count() << " ms"

const char* const kSysName = "1.3.6.1.2.1.1.5.0";

// ---- Against the test agent ------------------------------------------------

const char* const kObjects = "1.3.6.1.2.1.1.1.0 string test agent\n"
                             "1.3.6.1.2.1.1.5.0 string agent-name\n";

std::unique_ptr<testsupport::TestAgent> StartAgent(const std::vector<std::string>& args)
{
    auto agent = std::make_unique<testsupport::TestAgent>(kObjects, args);
    EXPECT_TRUE(agent->Ready()) << agent->Failure();
    return agent;
}

void ExpectSysName(const Outcome& outcome, const List& list)
{
    ASSERT_ANSWERED(outcome);
    EXPECT_EQ(outcome.status, SNMP_ERROR_NOERROR);
    ASSERT_EQ(list.list.count, 1u);
    EXPECT_EQ(list.Name(0), kSysName);
    ASSERT_EQ(list.list.bindings[0].value.tag, ASN_OCTETSTRING);
    EXPECT_EQ(BytesText(list.list.bindings[0].value), "agent-name");
}

TEST(SessionWithTestAgent, SilentAgentTimesOutAfterEveryAttempt)
{
    auto agent = StartAgent({"--behave", "silent"});
    ASSERT_TRUE(agent->Ready());
    List list({kSysName});
    Outcome outcome = RequestOnce(agent->Address(), "public", 200, 2, PDU_GET, list);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.error, SNMP_MGMTAPI_TIMEOUT);
    EXPECT_GE(outcome.elapsed.count(), 600);
    EXPECT_LT(outcome.elapsed.count(), 2500);
    EXPECT_EQ(agent->LogLines().size(), 3u);
}

TEST(SessionWithTestAgent, LostRequestIsAnsweredOnTheRetry)
{
    auto agent = StartAgent({"--behave", "drop-first=1"});
    ASSERT_TRUE(agent->Ready());
    List list({kSysName});
    Outcome outcome = RequestOnce(agent->Address(), "public", 300, 1, PDU_GET, list);
    ExpectSysName(outcome, list);
    EXPECT_GE(outcome.elapsed.count(), 300);
    EXPECT_EQ(agent->LogLines().size(), 2u);
}

// The answer to the first attempt comes during the second, and the answer to
// the second would come only after the last deadline: the request succeeds
// only because every attempt carries the same request ID.
TEST(SessionWithTestAgent, LateAnswerToAnEarlierAttemptCompletesTheRequest)
{
    auto agent = StartAgent({"--behave", "delay=600"});
    ASSERT_TRUE(agent->Ready());
    List list({kSysName});
    Outcome outcome = RequestOnce(agent->Address(), "public", 400, 1, PDU_GET, list);
    ExpectSysName(outcome, list);
    EXPECT_GE(outcome.elapsed.count(), 550);
}

// ---- Against a scripted responder in this process -------------------------

// A UDP socket on 127.0.0.1 bound to port 0.
int LoopbackSocket(uint16_t& port)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// One reply: the decoded request turned into a response, then reshaped.
struct Reply {
    std::function<void(SnmpMessage&)> shape;
    bool fromAnotherPort = false;
};

// Takes one request and answers it with the given replies in turn.
struct ScriptedResponder {
    int fd = -1;
    int otherFd = -1;
    uint16_t port = 0;
    std::thread worker;

    ScriptedResponder()
    {
        fd = LoopbackSocket(port);
        uint16_t otherPort = 0;
        otherFd = LoopbackSocket(otherPort);
    }
    ~ScriptedResponder()
    {
        if (worker.joinable()) {
            worker.join();
        }
        close(fd);
        close(otherFd);
    }
    std::string Address() const
    {
        return "127.0.0.1:" + std::to_string(port);
    }

    // True when a datagram arrives within `timeoutMs`.
    bool Receive(std::vector<uint8_t>& datagram, sockaddr_in& from, int timeoutMs)
    {
        pollfd watch = {fd, POLLIN, 0};
        if (poll(&watch, 1, timeoutMs) != 1) {
            return false;
        }
        datagram.resize(65536);
        socklen_t length = sizeof from;
        ssize_t size = recvfrom(fd, datagram.data(), datagram.size(), 0,
                                reinterpret_cast<sockaddr*>(&from), &length);
        datagram.resize(size < 0 ? 0 : static_cast<size_t>(size));
        return size >= 0;
    }

    void Answer(std::vector<Reply> replies)
    {
        worker = std::thread([this, replies] {
            std::vector<uint8_t> datagram;
            sockaddr_in from;
            if (!Receive(datagram, from, 5000)) {
                return;
            }
            for (const Reply& reply : replies) {
                SnmpMessage message;
                if (!DecodeMessage(datagram.data(), datagram.size(), message)) {
                    return;
                }
                message.pduType = PDU_RESPONSE;
                reply.shape(message);
                std::vector<uint8_t> bytes;
                bool encoded = EncodeMessage(message, bytes);
                FreeMessage(message);
                if (encoded) {
                    sendto(reply.fromAnotherPort ? otherFd : fd, bytes.data(), bytes.size(), 0,
                           reinterpret_cast<sockaddr*>(&from), sizeof from);
                }
            }
        });
    }
};

// Every stranger says genErr; only the true answer says badValue, index 1.
TEST(SessionScripted, OnlyTheTrueAnswerIsTaken)
{
    auto stranger = [](std::function<void(SnmpMessage&)> change) {
        return [change](SnmpMessage& m) {
            m.errorStatus = SNMP_ERROR_GENERR;
            change(m);
        };
    };
    ScriptedResponder responder;
    responder.Answer({
        {stranger([](SnmpMessage&) {}), true},
        {stranger([](SnmpMessage& m) { m.requestId += 1; })},
        {stranger([](SnmpMessage& m) { m.community = "publi"; })},
        {stranger([](SnmpMessage& m) { m.version = SNMP_VERSION_2C; })},
        {stranger([](SnmpMessage& m) { m.pduType = PDU_GET; })},
        {stranger([](SnmpMessage& m) { SnmpUtilVarBindListFree(&m.bindings); })},
        {[](SnmpMessage& m) {
            m.errorStatus = SNMP_ERROR_BADVALUE;
            m.errorIndex = 1;
        }},
    });
    List list({kSysName});
    Outcome outcome = RequestOnce(responder.Address(), "public", 3000, 0, PDU_GET, list);
    ASSERT_ANSWERED(outcome);
    EXPECT_EQ(outcome.status, SNMP_ERROR_BADVALUE);
    EXPECT_EQ(outcome.index, 1);
}

// Nobody listens: the port-unreachable the kernel may report is no socket
// failure, and the request runs to its time-out.
TEST(SessionScripted, ClosedPortTimesOut)
{
    uint16_t port = 0;
    {
        ScriptedResponder gone;
        port = gone.port;
    }
    List list({kSysName});
    Outcome outcome =
        RequestOnce("127.0.0.1:" + std::to_string(port), "public", 150, 2, PDU_GET, list);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(outcome.error, SNMP_MGMTAPI_TIMEOUT);
    EXPECT_GE(outcome.elapsed.count(), 450);
}

// Request IDs: each request its own, every attempt of one request the same.
TEST(SessionScripted, RetriesRepeatTheRequestIdAndRequestsDoNot)
{
    ScriptedResponder responder;
    SnmpMgrSession* session = SnmpMgrOpen(responder.Address().c_str(), "public", 100, 1);
    ASSERT_NE(session, nullptr);
    std::vector<int32_t> ids;
    for (int request = 0; request < 2; ++request) {
        List list({kSysName});
        Outcome outcome = Request(session, PDU_GET, list);
        EXPECT_EQ(outcome.error, SNMP_MGMTAPI_TIMEOUT);
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::vector<uint8_t> datagram;
            sockaddr_in from;
            ASSERT_TRUE(responder.Receive(datagram, from, 1000));
            int32_t version = -1;
            uint8_t pduType = 0;
            int32_t id = 0;
            ASSERT_TRUE(PeekMessageHeader(datagram.data(), datagram.size(), version, pduType, id));
            EXPECT_EQ(version, SNMP_VERSION_1);
            EXPECT_EQ(pduType, PDU_GET);
            EXPECT_GT(id, 0);
            ids.push_back(id);
        }
    }
    EXPECT_EQ(SnmpMgrClose(session), 1);
    ASSERT_EQ(ids.size(), 4u);
    EXPECT_EQ(ids[0], ids[1]);
    EXPECT_EQ(ids[2], ids[3]);
    EXPECT_NE(ids[0], ids[2]);
}

}  // namespace
