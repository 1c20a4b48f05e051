// The user-based security model against the system's snmpd: discovery and
// requests at every security level and protocol pair it offers, the reports
// it refuses requests with, and the time window across its restart.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "message/user_model.h"
#include "session/manager_session.h"
#include "snmp_api.h"
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

// Asks for sysContact.0, setting it first when `text` is not empty; the
// code, and the text answered.
uint32_t Ask(SnmpMgrSession* session, std::string& text)
{
    uint32_t sysContact[] = {1, 3, 6, 1, 2, 1, 1, 4, 0};
    SnmpVarBind binding{{9, sysContact}, {}};
    binding.value.tag = text.empty() ? ASN_NULL : ASN_OCTETSTRING;
    binding.value.data.bytes = {reinterpret_cast<uint8_t*>(text.data()),
                                static_cast<uint32_t>(text.size()), 0};
    const SnmpVarBindList asked = {&binding, 1};
    SnmpVarBindList list{};
    EXPECT_TRUE(SnmpUtilVarBindListCpy(&list, &asked));
    int32_t errorStatus = 0, errorIndex = 0;
    if (!SnmpMgrRequest(session, text.empty() ? PDU_GET : PDU_SET, &list, &errorStatus,
                        &errorIndex)) {
        SnmpUtilVarBindListFree(&list);
        return GetLastError();
    }
    EXPECT_EQ(errorStatus, 0);
    const AsnAny& value = list.bindings[0].value;
    EXPECT_EQ(value.tag, ASN_OCTETSTRING);
    text.assign(reinterpret_cast<const char*>(value.data.bytes.stream), value.data.bytes.length);
    SnmpUtilVarBindListFree(&list);
    return 0;
}

// A session of two attempts of a second each.
std::unique_ptr<SnmpMgrSession, int (*)(SnmpMgrSession*)> OpenAs(const std::string& agent,
                                                                 std::string name, const char* auth,
                                                                 const std::string& authPhrase,
                                                                 const char* priv = nullptr)
{
    UsmUser user;
    user.name = name;
    if (auth != nullptr) {
        EXPECT_TRUE(ParseAuthProtocol(auth, user.auth));
        user.authPassphrase = authPhrase;
    }
    if (priv != nullptr) {
        EXPECT_TRUE(ParsePrivProtocol(priv, user.priv));
        user.privPassphrase = kPhrase + "2";
    }
    return {SnmpMgrOpenUser(agent.c_str(), &user, 1000, 1), SnmpMgrClose};
}

UsmPeer& PeerOf(SnmpMgrSession* session)
{
    return static_cast<UserModel&>(*session->model).Peer();
}

uint32_t SetAndGetAs(const testsupport::SnmpdAgent& snmpd, const std::string& name,
                     const char* auth, const std::string& authPhrase = kPhrase,
                     const char* priv = nullptr)
{
    auto session = OpenAs(snmpd.Address(), name, auth, authPhrase, priv);
    std::string text = "contact of " + name;
    uint32_t code = Ask(session.get(), text);
    if (code == 0) {
        text.clear();
        code = Ask(session.get(), text);
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

// snmpd cannot authenticate these reports: they are told once no authentic
// answer came.
TEST(UsmSnmpd, RefusalsComeWithTheirCodes)
{
    SNMPD_OR_END_TEST(snmpd, SnmpdUsers());
    constexpr uint32_t unproven = ERROR_USM_UNPROVEN_BASE;
    EXPECT_EQ(SetAndGetAs(snmpd, "uSHA", "SHA", "not the phrase"),
              unproven + ERROR_USM_WRONG_DIGEST);
    EXPECT_EQ(SetAndGetAs(snmpd, "uSHA", "MD5"), unproven + ERROR_USM_WRONG_DIGEST);
    EXPECT_EQ(SetAndGetAs(snmpd, "nobody", "SHA"), unproven + ERROR_USM_UNKNOWN_USER);
    EXPECT_EQ(SetAndGetAs(snmpd, "uSHA", "SHA", kPhrase, "AES"),
              unproven + ERROR_USM_UNSUPPORTED_LEVEL);
    snmpd.Stop();
}

// A restart keeps snmpd's engine ID and counts its boots up.
TEST(UsmSnmpd, ARestartOrAnotherEngineIsLearntAgainOnce)
{
    SNMPD_OR_END_TEST(snmpd, SnmpdUsers());
    auto session = OpenAs(snmpd.Address(), "uMD5_DES", "MD5", kPhrase, "DES");
    UsmPeer& peer = PeerOf(session.get());
    std::string text;
    ASSERT_EQ(Ask(session.get(), text), 0u);
    const std::vector<uint8_t> engine = peer.engineId;
    const int32_t boots = peer.boots;
    ASSERT_TRUE(snmpd.Restart());
    ASSERT_EQ(Ask(session.get(), text), 0u);
    EXPECT_EQ(peer.engineId, engine);
    EXPECT_EQ(peer.boots, boots + 1);
    // As if another agent had taken the address.
    ASSERT_TRUE(UsmAdoptEngine(peer, {1, 2, 3, 4, 5}, peer.boots, peer.latestTime));
    ASSERT_EQ(Ask(session.get(), text), 0u);
    EXPECT_EQ(peer.engineId, engine);
    snmpd.Stop();
}

// An attacker on the path to snmpd: each request that names a user is met at
// once by a forged unauthenticated report of usmStats `stat`, claiming five
// more boots, and then passed on, unless `swallow`, and snmpd's answer relayed.
class ForgingPath {
public:
    ForgingPath(const testsupport::SnmpdAgent& snmpd, uint32_t stat, bool swallow)
    {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(near_, reinterpret_cast<sockaddr*>(&address), length);
        getsockname(near_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        address.sin_port = htons(std::stoi(snmpd.Address().substr(10)));
        connect(far_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        worker_ = std::thread([this, stat, swallow] { Relay(stat, swallow); });
    }
    ~ForgingPath()
    {
        done_ = true;
        worker_.join();
        close(near_);
        close(far_);
    }
    std::string Address() const
    {
        return "127.0.0.1:" + std::to_string(port_);
    }

private:
    void Relay(uint32_t stat, bool swallow)
    {
        std::vector<uint8_t> datagram(65536);
        sockaddr_in manager = {};
        socklen_t length = sizeof manager;
        while (!done_) {
            pollfd watch[] = {{near_, POLLIN, 0}, {far_, POLLIN, 0}};
            poll(watch, 2, 50);
            if ((watch[1].revents & POLLIN) != 0) {
                const ssize_t size = recv(far_, datagram.data(), datagram.size(), 0);
                sendto(near_, datagram.data(), static_cast<size_t>(size), 0,
                       reinterpret_cast<sockaddr*>(&manager), length);
            }
            if ((watch[0].revents & POLLIN) == 0) {
                continue;
            }
            const ssize_t size = recvfrom(near_, datagram.data(), datagram.size(), 0,
                                          reinterpret_cast<sockaddr*>(&manager), &length);
            V3Message request;
            size_t authOffset = 0;
            ASSERT_TRUE(
                DecodeV3Message(datagram.data(), static_cast<size_t>(size), request, authOffset));
            if (!request.userName.empty()) {
                SendForgery(request, stat, manager);
            }
            if (request.userName.empty() || !swallow) {
                send(far_, datagram.data(), static_cast<size_t>(size), 0);
            }
        }
    }
    void SendForgery(V3Message request, uint32_t stat, const sockaddr_in& manager)
    {
        uint32_t name[] = {1, 3, 6, 1, 6, 3, 15, 1, 1, stat, 0};
        SnmpVarBind binding{{11, name}, {}};
        binding.value.tag = ASN_NULL;
        SnmpPdu report;
        report.pduType = PDU_REPORT;
        report.bindings = {&binding, 1};
        request.flags = 0;
        request.engineBoots += 5;
        request.authParams.clear();
        request.privParams.clear();
        std::vector<uint8_t> bytes;
        size_t authOffset = 0;
        ASSERT_TRUE(EncodeScopedPdu(request.engineId, "", report, request.data));
        ASSERT_TRUE(EncodeV3Message(request, bytes, authOffset));
        sendto(near_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&manager),
               sizeof manager);
    }

    int near_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int far_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    uint16_t port_ = 0;
    std::atomic<bool> done_{false};
    std::thread worker_;
};

TEST(UsmSnmpd, ForgedReportsNeitherEndARequestNorMoveTheClock)
{
    SNMPD_OR_END_TEST(snmpd, SnmpdUsers());
    for (uint32_t stat : {2u, 3u, 4u, 5u}) {
        ForgingPath path(snmpd, stat, false);
        auto session = OpenAs(path.Address(), "uSHA_AES", "SHA", kPhrase, "AES");
        std::string text = "contact";
        EXPECT_EQ(Ask(session.get(), text), 0u) << stat;
    }
    // Only when no authentic answer came is the claim told, marked as unproven.
    ForgingPath path(snmpd, 5, true);
    std::string text;
    EXPECT_EQ(Ask(OpenAs(path.Address(), "uSHA", "SHA", kPhrase).get(), text),
              ERROR_USM_UNPROVEN_BASE + ERROR_USM_WRONG_DIGEST);
    snmpd.Stop();
}

}  // namespace
