// The manager's side of the security model without a network: the request
// bytes it writes, and which datagrams it takes as the answer to a request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "security/usm_engine.h"

namespace {

std::vector<uint8_t> Hex(const std::string& text)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// RFC 3414 section 4: no engine ID, no user, no bindings, reportable.
const char kDiscovery[] = "303a020103300f02021234020300ffe3040104020103"
                          "0410300e0400020100020100040004000400"
                          "30120400040"
                          "0a00c020212340201000201003000";

TEST(UsmAnswers, DiscoveryRequestBytesAndTheirDecoding)
{
    UsmPeer peer;
    ASSERT_TRUE(UsmPeerInit(peer, UsmUser{}));
    std::vector<uint8_t> out;
    ASSERT_TRUE(UsmEncodeDiscovery(peer, 0x1234, out));
    EXPECT_EQ(out, Hex(kDiscovery));
    V3Message message;
    size_t authOffset = 0;
    ASSERT_TRUE(DecodeV3Message(out.data(), out.size(), message, authOffset));
    EXPECT_EQ(message.msgId, 0x1234);
    EXPECT_EQ(message.flags, kMsgFlagReportable);
    // Changed one byte at a time: version, flags' size, model, a byte more.
    for (auto [at, value] : {std::pair{4, 2}, {18, 2}, {23, 2}, {59, 0}}) {
        std::vector<uint8_t> bad = out;
        if (at == 59) {
            bad.push_back(0);
        } else {
            bad[static_cast<size_t>(at)] = static_cast<uint8_t>(value);
        }
        EXPECT_FALSE(DecodeV3Message(bad.data(), bad.size(), message, authOffset)) << at;
    }
}

struct Agent {
    const char* auth;
    const char* authPhrase;
    const char* priv;
    int32_t boots;
    int32_t timeOffset;
};

// A peer that speaks for the engine "agent-1" at boots 5, time 1000.
void MakePeer(UsmPeer& peer, const Agent& agent)
{
    UsmUser user;
    user.name = "bob";
    if (agent.auth[0] != '\0') {
        ASSERT_TRUE(ParseAuthProtocol(agent.auth, user.auth));
        user.authPassphrase = agent.authPhrase;
    }
    if (agent.priv[0] != '\0') {
        ASSERT_TRUE(ParsePrivProtocol(agent.priv, user.priv));
        user.privPassphrase = "privacy phrase";
    }
    ASSERT_TRUE(UsmPeerInit(peer, std::move(user)));
    const std::string engine = "agent-1";
    ASSERT_TRUE(UsmAdoptEngine(peer, std::vector<uint8_t>(engine.begin(), engine.end()),
                               agent.boots, 1000 + agent.timeOffset));
}

// A message from `agent` as our peer would see it, to message 77 and request 7.
UsmAnswerKind Read(UsmPeer& peer, const Agent& agent, uint8_t pduType, bool flipLastByte = false)
{
    UsmPeer sender;
    MakePeer(sender, agent);
    uint32_t sysName[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};
    SnmpVarBind binding{{9, sysName}, {}};
    binding.value.tag = ASN_NULL;
    SnmpMessage pdu;
    pdu.pduType = pduType;
    pdu.requestId = 7;
    pdu.bindings = {&binding, 1};
    std::vector<uint8_t> out;
    EXPECT_TRUE(UsmEncodeRequest(sender, 77, pdu, out));
    if (flipLastByte) {
        out.back() ^= 1;
    }
    V3Message message;
    SnmpMessage answer;
    UsmAnswerKind kind = UsmReadAnswer(peer, 77, 7, out.data(), out.size(), message, answer);
    if (kind != UsmAnswerKind::NotAnswer) {
        EXPECT_EQ(answer.bindings.count, 1u);
        FreeMessage(answer);
    }
    return kind;
}

TEST(UsmAnswers, OnlyAuthenticTimelyAnswersAtTheRequestsLevelCount)
{
    const Agent ours{"SHA-256", "authentication", "AES", 5, 0};
    struct Case {
        const char* what;
        Agent agent;
        uint8_t pduType;
        bool flip;
        UsmAnswerKind kind;
    } cases[] = {
        {"the answer", ours, PDU_RESPONSE, false, UsmAnswerKind::Response},
        {"a changed byte", ours, PDU_RESPONSE, true, UsmAnswerKind::NotAnswer},
        {"another passphrase",
         {"SHA-256", "authenticatiom", "AES", 5, 0},
         PDU_RESPONSE,
         false,
         UsmAnswerKind::NotAnswer},
        {"another protocol",
         {"SHA-384", "authentication", "AES", 5, 0},
         PDU_RESPONSE,
         false,
         UsmAnswerKind::NotAnswer},
        {"no privacy",
         {"SHA-256", "authentication", "", 5, 0},
         PDU_RESPONSE,
         false,
         UsmAnswerKind::NotAnswer},
        {"no authentication", {"", "", "", 5, 0}, PDU_RESPONSE, false, UsmAnswerKind::NotAnswer},
        {"an earlier boot",
         {"SHA-256", "authentication", "AES", 4, 0},
         PDU_RESPONSE,
         false,
         UsmAnswerKind::NotAnswer},
        {"too old",
         {"SHA-256", "authentication", "AES", 5, -151},
         PDU_RESPONSE,
         false,
         UsmAnswerKind::NotAnswer},
        {"old within the window",
         {"SHA-256", "authentication", "AES", 5, -140},
         PDU_RESPONSE,
         false,
         UsmAnswerKind::Response},
        {"a later boot",
         {"SHA-256", "authentication", "AES", 6, -900},
         PDU_RESPONSE,
         false,
         UsmAnswerKind::Response},
        {"a request", ours, PDU_GET, false, UsmAnswerKind::NotAnswer},
        {"a report without authentication",
         {"", "", "", 5, 0},
         PDU_REPORT,
         false,
         UsmAnswerKind::Report},
    };
    for (const Case& c : cases) {
        UsmPeer peer;
        MakePeer(peer, ours);
        EXPECT_EQ(Read(peer, c.agent, c.pduType, c.flip), c.kind) << c.what;
    }
}

TEST(UsmAnswers, ReportsAreNamedByTheirCounter)
{
    struct Case {
        std::vector<uint32_t> name;
        uint32_t code;
    } cases[] = {
        {{1, 3, 6, 1, 6, 3, 15, 1, 1, 1, 0}, ERROR_USM_UNSUPPORTED_LEVEL},
        {{1, 3, 6, 1, 6, 3, 15, 1, 1, 2, 0}, ERROR_USM_NOT_IN_TIME_WINDOW},
        {{1, 3, 6, 1, 6, 3, 15, 1, 1, 3, 0}, ERROR_USM_UNKNOWN_USER},
        {{1, 3, 6, 1, 6, 3, 15, 1, 1, 4, 0}, ERROR_USM_UNKNOWN_ENGINE},
        {{1, 3, 6, 1, 6, 3, 15, 1, 1, 5, 0}, ERROR_USM_WRONG_DIGEST},
        {{1, 3, 6, 1, 6, 3, 15, 1, 1, 6, 0}, ERROR_USM_DECRYPTION},
        {{1, 3, 6, 1, 6, 3, 15, 1, 1, 7, 0}, ERROR_USM_OTHER_REPORT},
        {{1, 3, 6, 1, 6, 3, 15, 1, 1, 3}, ERROR_USM_OTHER_REPORT},
        {{1, 3, 6, 1, 6, 3, 11, 2, 1, 1, 0}, ERROR_USM_OTHER_REPORT},
    };
    for (Case& c : cases) {
        SnmpVarBind binding{{static_cast<uint32_t>(c.name.size()), c.name.data()}, {}};
        SnmpMessage report;
        report.bindings = {&binding, 1};
        EXPECT_EQ(UsmReportCode(report), c.code) << c.name.size() << " " << c.name[9];
        EXPECT_NE(LastErrorText(c.code), nullptr);
    }
}

}  // namespace
