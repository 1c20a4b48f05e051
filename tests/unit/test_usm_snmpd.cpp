// The user-based security model against the system's snmpd: discovery and
// requests at every security level and protocol pair it offers, the reports
// it refuses requests with, and the time window across its restart.
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>
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
std::unique_ptr<SnmpMgrSession, int (*)(SnmpMgrSession*)>
OpenAs(const testsupport::SnmpdAgent& snmpd, std::string name, const char* auth,
       const std::string& authPhrase, const char* priv = nullptr)
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
    return {SnmpMgrOpenUser(snmpd.Address().c_str(), &user, 1000, 1), SnmpMgrClose};
}

UsmPeer& PeerOf(SnmpMgrSession* session)
{
    return static_cast<UserModel&>(*session->model).Peer();
}

uint32_t SetAndGetAs(const testsupport::SnmpdAgent& snmpd, const std::string& name,
                     const char* auth, const std::string& authPhrase = kPhrase,
                     const char* priv = nullptr)
{
    auto session = OpenAs(snmpd, name, auth, authPhrase, priv);
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
    auto session = OpenAs(snmpd, "uMD5_DES", "MD5", kPhrase, "DES");
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

}  // namespace
