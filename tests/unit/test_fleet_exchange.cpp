// Two agents that answer with each other's request IDs before their own: each
// agent's outcome is its own, and no two requests of a fleet share an ID.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "ber/ber_codec.h"
#include "message/dispatcher.h"
#include "session/fleet_exchange.h"

namespace {

struct OneModel : FleetModels {
    std::unique_ptr<MessageModel> model = MakeCommunityModel(SNMP_VERSION_2C, "public");
    MessageModel* ModelFor(size_t) override
    {
        return model.get();
    }
    MessageModel& Reader() override
    {
        return *model;
    }
};

struct Recorder : FleetConversation {
    SnmpVarBindList none = {nullptr, 0};
    std::vector<int> asked = std::vector<int>(2, 0), status = std::vector<int>(2, -1);
    bool NextRequest(size_t agent, FleetAsk& ask) override
    {
        ask = {PDU_GET, &none, 0, 0};
        return asked[agent]++ == 0;
    }
    void Answered(size_t agent, SnmpPdu& answer) override
    {
        status[agent] = answer.errorStatus;
    }
    void Failed(size_t agent, uint32_t) override
    {
        status[agent] = 100;
    }
};

TEST(FleetExchange, AnswersCountOnlyFromTheirOwnAgent)
{
    int fds[2];
    AgentList list;
    for (int& fd : fds) {
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address = {AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), length);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ListedAgent agent;
        std::memcpy(agent.endpoint.data(), &address, length);
        agent.endpointLength = static_cast<uint8_t>(length);
        list.agents.push_back(agent);
    }
    SnmpMessage requests[2];
    std::thread agents([&] {
        sockaddr_in manager = {};
        for (int i = 0; i < 2; ++i) {
            std::vector<uint8_t> datagram(2048);
            socklen_t length = sizeof manager;
            pollfd watch = {fds[i], POLLIN, 0};
            ASSERT_EQ(poll(&watch, 1, 5000), 1);
            const ssize_t size = recvfrom(fds[i], datagram.data(), datagram.size(), 0,
                                          reinterpret_cast<sockaddr*>(&manager), &length);
            ASSERT_TRUE(DecodeMessage(datagram.data(), static_cast<size_t>(size), requests[i]));
            requests[i].pdu.pduType = PDU_RESPONSE;
        }
        // Each agent first answers with the other's ID, then with its own.
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < 2; ++i) {
                SnmpMessage answer = requests[round == 0 ? 1 - i : i];
                answer.pdu.errorStatus = round == 0 ? SNMP_ERROR_GENERR : i + 1;
                std::vector<uint8_t> bytes;
                EncodeMessage(answer, bytes);
                sendto(fds[i], bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&manager),
                       sizeof manager);
            }
        }
    });
    OneModel models;
    FleetSettings settings;
    settings.timeout = std::chrono::milliseconds(3000);
    Recorder recorder;
    EXPECT_TRUE(ExchangeWithFleet(list, models, settings, recorder));
    agents.join();
    EXPECT_EQ(recorder.status, (std::vector<int>{1, 2}));
    EXPECT_NE(requests[0].pdu.requestId, requests[1].pdu.requestId);
    for (int i = 0; i < 2; ++i) {
        FreeMessage(requests[i]);
        close(fds[i]);
    }
}

}  // namespace
