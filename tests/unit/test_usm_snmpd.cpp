// The user-based security model against the system's snmpd: discovery and
// requests at every security level, for every protocol pair snmpd offers,
// and the reports it answers refused requests with.
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <memory>
#include <thread>

#include <string>
#include <vector>

#include "security/usm_engine.h"
#include "session/agent_address.h"
#include "session/udp_transport.h"
#include "test_processes.h"

namespace {

const char* const kAuths[] = {"MD5", "SHA", "SHA-224", "SHA-256", "SHA-384", "SHA-512"};
const char* const kPrivs[] = {"DES", "AES", "AES-192", "AES-256"};
const char kAuthPhrase[] = "auth phrase 1";
const char kPrivPhrase[] = "priv phrase 2";

std::string UserName(const std::string& auth, const std::string& priv)
{
    return "u" + auth + (priv.empty() ? "" : "_" + priv);
}

// One user per protocol pair, one per authentication protocol alone, and
// one without either; all may write.
std::string SnmpdUsers()
{
    std::string config = "createUser plain\nrwuser plain noauth\n";
    for (const char* auth : kAuths) {
        std::string name = UserName(auth, "");
        config += "createUser " + name + " " + auth + " \"" + kAuthPhrase + "\"\n";
        config += "rwuser " + name + " auth\n";
        for (const char* priv : kPrivs) {
            name = UserName(auth, priv);
            config += "createUser " + name + " " + auth + " \"" + kAuthPhrase + "\" " + priv +
                      " \"" + kPrivPhrase + "\"\n";
            config += "rwuser " + name + " priv\n";
        }
    }
    return config;
}

UsmUser MakeUser(const std::string& name, const std::string& auth, const std::string& authPhrase,
                 const std::string& priv = "", const std::string& privPhrase = "")
{
    UsmUser user;
    user.name = name;
    if (!auth.empty()) {
        EXPECT_TRUE(ParseAuthProtocol(auth, user.auth));
        user.authPassphrase = authPhrase;
    }
    if (!priv.empty()) {
        EXPECT_TRUE(ParsePrivProtocol(priv, user.priv));
        user.privPassphrase = privPhrase;
    }
    return user;
}

// A UDP exchange with the agent: two attempts of a second each.
class UdpExchange {
public:
    explicit UdpExchange(const std::string& address)
    {
        EXPECT_TRUE(ResolveAgentAddress(address.c_str(), agent_));
        fd_ = UdpOpen(agent_.address.ss_family);
    }
    ~UdpExchange()
    {
        UdpClose(fd_);
    }

    uint32_t operator()(const std::vector<uint8_t>& datagram, const UsmIsAnswer& isAnswer)
    {
        std::vector<uint8_t> buffer(kReceiveBufferSize);
        for (int attempt = 0; attempt < 2; ++attempt) {
            UdpSend(fd_, agent_.address, agent_.length, datagram.data(), datagram.size());
            auto deadline = TransportClock::now() + std::chrono::seconds(1);
            size_t size = 0;
            sockaddr_storage from{};
            socklen_t fromLength = sizeof from;
            while (UdpReceive(fd_, deadline, buffer.data(), buffer.size(), size, from,
                              fromLength) == ReceiveOutcome::Datagram) {
                if (IsSameEndpoint(agent_, from, fromLength) && isAnswer(buffer.data(), size)) {
                    return 0;
                }
            }
        }
        return SNMP_MGMTAPI_TIMEOUT;
    }

private:
    AgentAddress agent_{};
    int fd_ = -1;
};

uint32_t sysName[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};
uint32_t sysContact[] = {1, 3, 6, 1, 2, 1, 1, 4, 0};

// Sends one request for `name` (a SET when `text` is given, else a GET); the
// code, and the text answered.
uint32_t Ask(UsmPeer& peer, const std::string& address, uint32_t* name, std::string& text,
             bool set = false)
{
    SnmpVarBind binding{{9, name}, {}};
    binding.value.tag = ASN_NULL;
    if (set) {
        binding.value.tag = ASN_OCTETSTRING;
        binding.value.data.bytes = {reinterpret_cast<uint8_t*>(text.data()),
                                    static_cast<uint32_t>(text.size()), 0};
    }
    SnmpMessage request;
    request.pduType = set ? PDU_SET : PDU_GET;
    request.requestId = 4711;
    request.bindings = {&binding, 1};
    SnmpMessage response;
    UdpExchange exchange(address);
    uint32_t code = UsmRequest(peer, std::ref(exchange), request, response);
    if (code == 0) {
        EXPECT_EQ(response.errorStatus, 0);
        EXPECT_EQ(response.bindings.count, 1u);
        const AsnAny& value = response.bindings.bindings[0].value;
        EXPECT_EQ(value.tag, ASN_OCTETSTRING);
        text.assign(reinterpret_cast<const char*>(value.data.bytes.stream),
                    value.data.bytes.length);
        FreeMessage(response);
    }
    return code;
}

uint32_t GetSysName(UsmPeer& peer, const std::string& address, std::string& answer)
{
    return Ask(peer, address, sysName, answer);
}

uint32_t GetAs(UsmUser user, const std::string& address)
{
    UsmPeer peer;
    EXPECT_TRUE(UsmPeerInit(peer, std::move(user)));
    std::string answer;
    uint32_t code = GetSysName(peer, address, answer);
    if (code == 0) {
        EXPECT_FALSE(answer.empty());
    }
    return code;
}

// snmpd with the users above, or the end of the test (see SNMPD_OR_END_TEST).
#define END_TEST_UNLESS_READY(snmpd)                                                               \
    if (!snmpd.Ready()) {                                                                          \
        if (!snmpd.Installed() && ::testsupport::SkipAllowed()) {                                  \
            GTEST_SKIP() << snmpd.Failure();                                                       \
        }                                                                                          \
        FAIL() << snmpd.Failure();                                                                 \
    }

TEST(UsmSnmpd, EveryLevelAndProtocolPairAnswers)
{
    testsupport::SnmpdAgent snmpd(SnmpdUsers());
    END_TEST_UNLESS_READY(snmpd);
    EXPECT_EQ(GetAs(MakeUser("plain", "", ""), snmpd.Address()), 0u);
    for (const char* auth : kAuths) {
        EXPECT_EQ(GetAs(MakeUser(UserName(auth, ""), auth, kAuthPhrase), snmpd.Address()), 0u)
            << auth;
        for (const char* priv : kPrivs) {
            EXPECT_EQ(GetAs(MakeUser(UserName(auth, priv), auth, kAuthPhrase, priv, kPrivPhrase),
                            snmpd.Address()),
                      0u)
                << auth << " " << priv;
        }
    }
}

TEST(UsmSnmpd, RefusalsComeWithTheirCodes)
{
    testsupport::SnmpdAgent snmpd(SnmpdUsers());
    END_TEST_UNLESS_READY(snmpd);
    const std::string address = snmpd.Address();
    EXPECT_EQ(GetAs(MakeUser("uSHA", "SHA", "not the phrase"), address), ERROR_USM_WRONG_DIGEST);
    EXPECT_EQ(GetAs(MakeUser("nobody", "SHA", kAuthPhrase), address), ERROR_USM_UNKNOWN_USER);
    EXPECT_EQ(GetAs(MakeUser("uSHA", "SHA", kAuthPhrase, "AES", kPrivPhrase), address),
              ERROR_USM_UNSUPPORTED_LEVEL);
    EXPECT_EQ(GetAs(MakeUser("uSHA", "MD5", kAuthPhrase), address), ERROR_USM_WRONG_DIGEST);
}

TEST(UsmSnmpd, AStaleClockOrEngineIsLearntAgainOnce)
{
    testsupport::SnmpdAgent snmpd(SnmpdUsers());
    END_TEST_UNLESS_READY(snmpd);
    UsmPeer peer;
    ASSERT_TRUE(
        UsmPeerInit(peer, MakeUser("uSHA-256_AES", "SHA-256", kAuthPhrase, "AES", kPrivPhrase)));
    std::string answer;
    ASSERT_EQ(GetSysName(peer, snmpd.Address(), answer), 0u);
    const std::vector<uint8_t> engine = peer.engineId;
    // As if the agent had restarted since: its boots moved on.
    peer.boots -= 1;
    peer.latestTime += 1000;
    ASSERT_EQ(GetSysName(peer, snmpd.Address(), answer), 0u);
    EXPECT_FALSE(answer.empty());
    // As if another agent had taken the address.
    ASSERT_TRUE(UsmAdoptEngine(peer, {1, 2, 3, 4, 5}, peer.boots, peer.latestTime));
    ASSERT_EQ(GetSysName(peer, snmpd.Address(), answer), 0u);
    EXPECT_EQ(peer.engineId, engine);
}

// snmpd started by hand over one persistent directory, so that a second
// start is a restart: the same engine ID, its boots counted up.
class RestartableSnmpd {
public:
    RestartableSnmpd() : port_(testsupport::PickFreeUdpPort()) {}

    std::string Address() const
    {
        return "127.0.0.1:" + std::to_string(port_);
    }

    // Starts it and waits (up to 15 s) until it answers a discovery.
    bool Start()
    {
        std::string config =
            dir_.Write("snmpd.conf", "agentAddress udp:" + Address() + "\n" + SnmpdUsers());
        // With -C snmpd reads only what -c names: its saved state too, once there.
        if (started_) {
            config += "," + dir_.Path() + "/persist/snmpd.conf";
        }
        started_ = true;
        process_ = std::make_unique<testsupport::BackgroundProcess>(
            std::vector<std::string>{"/usr/sbin/snmpd", "-f", "-Lo", "-C", "-c", config, "-p",
                                     dir_.Path() + "/snmpd.pid"},
            std::vector<std::string>{"SNMP_PERSISTENT_DIR=" + dir_.Path() + "/persist", "MIBS="});
        UsmPeer probe;
        std::vector<uint8_t> discovery;
        if (!UsmPeerInit(probe, UsmUser{}) || !UsmEncodeDiscovery(probe, 1, discovery)) {
            return false;
        }
        // Until snmpd binds its port, the exchange may end at once (port unreachable).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            if (testsupport::UdpExchange(Address(), discovery, 200)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    void Stop()
    {
        process_->Signal(SIGTERM);
        process_->Wait(5000);
    }

private:
    testsupport::TempDir dir_;
    uint16_t port_;
    bool started_ = false;
    std::unique_ptr<testsupport::BackgroundProcess> process_;
};

TEST(UsmSnmpd, ARestartedAgentsNewBootsAreLearnt)
{
    if (access("/usr/sbin/snmpd", X_OK) != 0 && testsupport::SkipAllowed()) {
        GTEST_SKIP() << "/usr/sbin/snmpd is not installed";
    }
    RestartableSnmpd snmpd;
    ASSERT_TRUE(snmpd.Start());
    UsmPeer peer;
    ASSERT_TRUE(UsmPeerInit(peer, MakeUser("uMD5_DES", "MD5", kAuthPhrase, "DES", kPrivPhrase)));
    std::string answer;
    ASSERT_EQ(GetSysName(peer, snmpd.Address(), answer), 0u);
    const std::vector<uint8_t> engine = peer.engineId;
    const int32_t boots = peer.boots;
    snmpd.Stop();
    ASSERT_TRUE(snmpd.Start());
    ASSERT_EQ(GetSysName(peer, snmpd.Address(), answer), 0u);
    EXPECT_EQ(peer.engineId, engine);
    EXPECT_EQ(peer.boots, boots + 1);
    snmpd.Stop();
}

TEST(UsmSnmpd, ASetIsAnsweredAndKept)
{
    testsupport::SnmpdAgent snmpd(SnmpdUsers());
    END_TEST_UNLESS_READY(snmpd);
    UsmPeer peer;
    ASSERT_TRUE(UsmPeerInit(
        peer, MakeUser("uSHA-512_AES-256", "SHA-512", kAuthPhrase, "AES-256", kPrivPhrase)));
    std::string text = "set over SNMPv3";
    ASSERT_EQ(Ask(peer, snmpd.Address(), sysContact, text, true), 0u);
    text.clear();
    ASSERT_EQ(Ask(peer, snmpd.Address(), sysContact, text), 0u);
    EXPECT_EQ(text, "set over SNMPv3");
}

}  // namespace
