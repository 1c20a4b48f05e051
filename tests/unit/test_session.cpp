// A manager session against a responder in this process, for the answers no
// agent sends on purpose: strangers from another port, with another request
// ID, community, version, PDU type or number of bindings are passed over, and
// an answer that comes only while the request is retried still counts.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <tuple>
#include <vector>

#include "ber/ber_codec.h"
#include "session/agent_address.h"
#include "snmp_api.h"

namespace {

using Shape = std::function<void(SnmpMessage&)>;

int LoopbackSocket(uint16_t& port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

// Takes `attempts` datagrams of one request (their request IDs kept), then
// sends the replies, each the request made a response and reshaped; a reply
// whose shape returns from another port comes from a second socket.
struct Responder {
    uint16_t port = 0, otherPort = 0;
    int fd = LoopbackSocket(port), otherFd = LoopbackSocket(otherPort);
    std::vector<int32_t> ids;
    std::thread worker;

    void Answer(int attempts, std::vector<std::pair<Shape, bool>> replies)
    {
        worker = std::thread([this, attempts, replies] {
            std::vector<uint8_t> datagram(65536);
            sockaddr_in from = {};
            for (int i = 0; i < attempts; ++i) {
                pollfd watch = {fd, POLLIN, 0};
                socklen_t length = sizeof from;
                if (poll(&watch, 1, 5000) != 1) {
                    return;
                }
                const ssize_t size = recvfrom(fd, datagram.data(), 65536, 0,
                                              reinterpret_cast<sockaddr*>(&from), &length);
                datagram.resize(size < 0 ? 0 : static_cast<size_t>(size));
                int32_t version = -1, id = 0;
                uint8_t pduType = 0;
                if (PeekMessageHeader(datagram.data(), datagram.size(), version, pduType, id)) {
                    ids.push_back(id);
                }
            }
            for (const auto& [shape, otherSocket] : replies) {
                SnmpMessage message;
                if (!DecodeMessage(datagram.data(), datagram.size(), message)) {
                    return;
                }
                message.pdu.pduType = PDU_RESPONSE;
                shape(message);
                std::vector<uint8_t> bytes;
                if (EncodeMessage(message, bytes)) {
                    sendto(otherSocket ? otherFd : fd, bytes.data(), bytes.size(), 0,
                           reinterpret_cast<sockaddr*>(&from), sizeof from);
                }
                FreeMessage(message);
            }
        });
    }
    ~Responder()
    {
        if (worker.joinable()) {
            worker.join();
        }
        close(fd);
        close(otherFd);
    }
};

// GET sysName.0 from the responder; the error status the answer taken carried.
int32_t Ask(Responder& responder, int32_t timeoutMs, int32_t retries, int* result)
{
    const std::string agent = "127.0.0.1:" + std::to_string(responder.port);
    SnmpMgrSession* session = SnmpMgrOpen(agent.c_str(), "public", timeoutMs, retries);
    EXPECT_NE(session, nullptr);
    uint32_t ids[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};
    auto* binding = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
    binding->name.ids = static_cast<uint32_t*>(SnmpUtilMemAlloc(sizeof ids));
    std::copy(std::begin(ids), std::end(ids), binding->name.ids);
    binding->name.count = 9;
    binding->value.tag = ASN_NULL;
    SnmpVarBindList list = {binding, 1};
    int32_t status = -1, index = -1;
    *result = SnmpMgrRequest(session, PDU_GET, &list, &status, &index);
    SnmpUtilVarBindListFree(&list);
    SnmpMgrClose(session);
    return status;
}

Shape Stranger(Shape change)
{
    return [change](SnmpMessage& m) {
        m.pdu.errorStatus = SNMP_ERROR_GENERR;
        change(m);
    };
}

TEST(Session, OnlyTheTrueAnswerIsTaken)
{
    Responder responder;
    responder.Answer(
        1, {
               {Stranger([](SnmpMessage&) {}), true},
               {Stranger([](SnmpMessage& m) { m.pdu.requestId += 1; }), false},
               {Stranger([](SnmpMessage& m) { m.community = "publi"; }), false},
               {Stranger([](SnmpMessage& m) { m.version = SNMP_VERSION_2C; }), false},
               {Stranger([](SnmpMessage& m) { m.pdu.pduType = PDU_GET; }), false},
               {Stranger([](SnmpMessage& m) { SnmpUtilVarBindListFree(&m.pdu.bindings); }), false},
               {[](SnmpMessage& m) { m.pdu.errorStatus = SNMP_ERROR_BADVALUE; }, false},
           });
    int result = 0;
    EXPECT_EQ(Ask(responder, 5000, 0, &result), SNMP_ERROR_BADVALUE);
    EXPECT_EQ(result, 1);
}

// The responder answers only once the third attempt has come: the answer
// matches because every attempt of a request carries the same request ID.
TEST(Session, AnAnswerDuringARetryCountsAndRetriesKeepTheRequestId)
{
    Responder responder;
    responder.Answer(3, {{[](SnmpMessage& m) { m.pdu.errorStatus = SNMP_ERROR_READONLY; }, false}});
    int result = 0;
    EXPECT_EQ(Ask(responder, 300, 5, &result), SNMP_ERROR_READONLY);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(responder.ids.size(), 3u);
    EXPECT_EQ(responder.ids[0], responder.ids[2]);
}

// The sender check behind the connected socket: only the agent's own address
// and port, compared in the family the socket receives in.
TEST(Session, OnlyTheAgentsOwnAddressAndPortAreItsAnswers)
{
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"127.0.0.1:1161", "127.0.0.1:1161", true},
        {"127.0.0.1:1161", "127.0.0.1:1162", false},
        {"127.0.0.1:1161", "127.0.0.2:1161", false},
        {"[::1]:1161", "[::1]:1161", true},
        {"[::1]:1161", "[::1]:1162", false},
        {"[::ffff:127.0.0.1]:1161", "[::ffff:127.0.0.1]:1161", true},
        {"[::ffff:127.0.0.1]:1161", "[::ffff:127.0.0.1]:1162", false},
        {"[::ffff:127.0.0.1]:1161", "[::ffff:127.0.0.2]:1161", false},
        {"[::ffff:127.0.0.1]:1161", "[::1]:1161", false},
        {"[::ffff:127.0.0.1]:1161", "127.0.0.1:1161", false},
    };
    for (const auto& [agentText, fromText, same] : rows) {
        AgentAddress agent, from;
        ASSERT_TRUE(ResolveAgentAddress(agentText, agent) && ResolveAgentAddress(fromText, from));
        EXPECT_EQ(IsSameEndpoint(agent, from.address, from.length), same)
            << agentText << " " << fromText;
        EXPECT_FALSE(IsSameEndpoint(agent, from.address, from.length - 1)) << "a short address";
    }
}

}  // namespace
