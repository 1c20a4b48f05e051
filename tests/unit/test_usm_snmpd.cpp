// The user-based security model against the system's snmpd: discovery and
// requests at every security level and protocol pair it offers, the reports
// it refuses requests with, and the time window across its restart.
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "security/usm_engine.h"
#include "session/agent_address.h"
#include "transport/udp_transport.h"
#include "test_processes.h"

namespace {

using namespace std::chrono_literals;

const char* const kAuths[] = {"MD5", "SHA", "SHA-224", "SHA-256", "SHA-384", "SHA-512"};
const char* const kPrivs[] = {"DES", "AES", "AES-192", "AES-256"};
const std::string kPhrase = "passphrase";  // the users' privacy phrase adds "2"

// One user per protocol pair ("uSHA_AES"), per authentication protocol alone
// ("uSHA"), and one without either ("u"); all may write.
std::string SnmpdUsers()
{
    std::string config = "createUser u\nrwuser u noauth\n";
    for (std::string auth : kAuths) {
        config += "createUser u" + auth + " " + auth + " " + kPhrase + "\nrwuser u" + auth + "\n";
        for (std::string priv : kPrivs) {
            std::string name = "u" + auth + "_" + priv;
            config += "createUser " + name + " " + auth + " " + kPhrase + " " + priv + " " +
                      kPhrase + "2\nrwuser " + name + " priv\n";
        }
    }
    return config;
}

// A UDP exchange with the agent: two attempts of a second each.
uint32_t Exchange(const std::string& address, const std::vector<uint8_t>& datagram,
                  const UsmIsAnswer& isAnswer)
{
    AgentAddress agent{};
    EXPECT_TRUE(ResolveAgentAddress(address.c_str(), agent));
    int fd = UdpOpen(AF_INET);
    std::vector<uint8_t> buffer(kReceiveBufferSize);
    uint32_t code = SNMP_MGMTAPI_TIMEOUT;
    int armedMs = 0;
    for (int attempt = 0; attempt < 2 && code != 0; ++attempt) {
        UdpSend(fd, agent.address, agent.length, datagram.data(), datagram.size());
        auto deadline = TransportClock::now() + 1s;
        size_t size = 0;
        sockaddr_storage from{};
        socklen_t fromLength = sizeof from;
        while (code != 0 && UdpReceive(fd, deadline, buffer.data(), buffer.size(), size, from,
                                       fromLength, armedMs) == ReceiveOutcome::Datagram) {
            if (IsSameEndpoint(agent, from, fromLength) && isAnswer(buffer.data(), size)) {
                code = 0;
            }
        }
    }
    UdpClose(fd);
    return code;
}

// Asks for sysContact.0, setting it first when `text` is not empty; the
// code, and the text answered.
uint32_t Ask(UsmPeer& peer, const std::string& address, std::string& text)
{
    uint32_t sysContact[] = {1, 3, 6, 1, 2, 1, 1, 4, 0};
    SnmpVarBind binding{{9, sysContact}, {}};
    binding.value.tag = text.empty() ? ASN_NULL : ASN_OCTETSTRING;
    binding.value.data.bytes = {reinterpret_cast<uint8_t*>(text.data()),
                                static_cast<uint32_t>(text.size()), 0};
    SnmpMessage request;
    request.pduType = text.empty() ? PDU_GET : PDU_SET;
    request.requestId = 4711;
    request.bindings = {&binding, 1};
    SnmpMessage response;
    auto exchange = [&](const std::vector<uint8_t>& datagram, const UsmIsAnswer& isAnswer) {
        return Exchange(address, datagram, isAnswer);
    };
    uint32_t code = UsmRequest(peer, exchange, request, response);
    if (code == 0) {
        EXPECT_EQ(response.errorStatus, 0);
        const AsnAny& value = response.bindings.bindings[0].value;
        EXPECT_EQ(value.tag, ASN_OCTETSTRING);
        text.assign(reinterpret_cast<const char*>(value.data.bytes.stream),
                    value.data.bytes.length);
        FreeMessage(response);
    }
    return code;
}

void MakePeer(UsmPeer& peer, std::string name, const char* auth, const std::string& authPhrase,
              const char* priv = nullptr)
{
    UsmUser user;
    user.name = name;
    if (auth != nullptr) {
        ASSERT_TRUE(ParseAuthProtocol(auth, user.auth));
        user.authPassphrase = authPhrase;
    }
    if (priv != nullptr) {
        ASSERT_TRUE(ParsePrivProtocol(priv, user.priv));
        user.privPassphrase = kPhrase + "2";
    }
    ASSERT_TRUE(UsmPeerInit(peer, std::move(user)));
}

uint32_t SetAndGetAs(const testsupport::SnmpdAgent& snmpd, const std::string& name,
                     const char* auth, const std::string& authPhrase = kPhrase,
                     const char* priv = nullptr)
{
    UsmPeer peer;
    MakePeer(peer, name, auth, authPhrase, priv);
    std::string text = "contact of " + name;
    uint32_t code = Ask(peer, snmpd.Address(), text);
    if (code == 0) {
        text.clear();
        code = Ask(peer, snmpd.Address(), text);
        EXPECT_EQ(text, "contact of " + name);
    }
    return code;
}

TEST(UsmSnmpd, EveryLevelAndProtocolPairSetsAndGets)
{
    SNMPD_OR_END_TEST(snmpd, SnmpdUsers());
    EXPECT_EQ(SetAndGetAs(snmpd, "u", nullptr), 0u);
    for (const char* auth : kAuths) {
        EXPECT_EQ(SetAndGetAs(snmpd, "u" + std::string(auth), auth), 0u) << auth;
        for (const char* priv : kPrivs) {
            EXPECT_EQ(SetAndGetAs(snmpd, "u" + std::string(auth) + "_" + priv, auth, kPhrase, priv),
                      0u)
                << auth << " " << priv;
        }
    }
    snmpd.Stop();
}

TEST(UsmSnmpd, RefusalsComeWithTheirCodes)
{
    SNMPD_OR_END_TEST(snmpd, SnmpdUsers());
    EXPECT_EQ(SetAndGetAs(snmpd, "uSHA", "SHA", "not the phrase"), ERROR_USM_WRONG_DIGEST);
    EXPECT_EQ(SetAndGetAs(snmpd, "uSHA", "MD5"), ERROR_USM_WRONG_DIGEST);
    EXPECT_EQ(SetAndGetAs(snmpd, "nobody", "SHA"), ERROR_USM_UNKNOWN_USER);
    EXPECT_EQ(SetAndGetAs(snmpd, "uSHA", "SHA", kPhrase, "AES"), ERROR_USM_UNSUPPORTED_LEVEL);
    snmpd.Stop();
}

// A restart keeps snmpd's engine ID and counts its boots up.
TEST(UsmSnmpd, ARestartOrAnotherEngineIsLearntAgainOnce)
{
    SNMPD_OR_END_TEST(snmpd, SnmpdUsers());
    UsmPeer peer;
    MakePeer(peer, "uMD5_DES", "MD5", kPhrase, "DES");
    std::string text;
    ASSERT_EQ(Ask(peer, snmpd.Address(), text), 0u);
    const std::vector<uint8_t> engine = peer.engineId;
    const int32_t boots = peer.boots;
    ASSERT_TRUE(snmpd.Restart());
    ASSERT_EQ(Ask(peer, snmpd.Address(), text), 0u);
    EXPECT_EQ(peer.engineId, engine);
    EXPECT_EQ(peer.boots, boots + 1);
    // As if another agent had taken the address.
    ASSERT_TRUE(UsmAdoptEngine(peer, {1, 2, 3, 4, 5}, peer.boots, peer.latestTime));
    ASSERT_EQ(Ask(peer, snmpd.Address(), text), 0u);
    EXPECT_EQ(peer.engineId, engine);
    snmpd.Stop();
}

}  // namespace
