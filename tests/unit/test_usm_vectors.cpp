// The security model without a network: its cryptography against the
// vectors the RFCs and standards publish, the request bytes it writes, and
// which datagrams it takes as the answer to a request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message/user_model.h"
#include "os/system_error.h"
#include "session/answer_match.h"

namespace {

std::vector<uint8_t> Hex(const std::string& text)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The keys themselves are proven against snmpget's digests (the v3 captures of
// the codec test); a passphrase of under 8 characters makes none (RFC 3414 section 11.2).
TEST(UsmVectors, NoKeyFromAPassphraseUnderEightCharacters)
{
    const std::vector<uint8_t> engine = Hex("000000000000000000000002");
    SecretKey key;
    EXPECT_FALSE(LocaliseKey(HashKind::Sha1, "maplesy", engine.data(), engine.size(), key));
    EXPECT_TRUE(LocaliseKey(HashKind::Md5, "maplesyr", engine.data(), engine.size(), key));
}

// RFC 2202 and RFC 4231 test case 2 (key "Jefe").
TEST(UsmVectors, Hmac)
{
    const std::vector<uint8_t> key = Bytes("Jefe");
    const std::vector<uint8_t> data = Bytes("what do ya want for nothing?");
    struct Case {
        HashKind hash;
        const char* mac;
    } cases[] = {
        {HashKind::Md5, "750c783e6ab0b503eaa86e310a5db738"},
        {HashKind::Sha1, "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {HashKind::Sha224, "a30e01098bc6dbbf45690f3a7e9e6d0f8bbea2a39e6148008fd05e44"},
        {HashKind::Sha256, "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {HashKind::Sha384, "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e"
                           "8e2240ca5e69e2c78b3239ecfab21649"},
        {HashKind::Sha512, "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea250554"
                           "9758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> mac(HashDigestSize(c.hash));
        ASSERT_TRUE(
            ComputeHmac(c.hash, key.data(), key.size(), data.data(), data.size(), mac.data()));
        EXPECT_EQ(mac, Hex(c.mac));
    }
}

// NIST SP 800-38A F.3.13, F.3.15, F.3.17 (CFB128, first two blocks) and
// FIPS 81 appendix B (CBC). Decryption is proven against snmpd.
TEST(UsmVectors, Ciphers)
{
    const std::vector<uint8_t> iv = Hex("000102030405060708090a0b0c0d0e0f");
    const std::vector<uint8_t> plain =
        Hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
    struct Case {
        const char* key;
        const char* cipher;
    } cases[] = {
        {"2b7e151628aed2a6abf7158809cf4f3c",
         "3b3fd92eb72dad20333449f8e83cfb4ac8a64537a0b3a93fcde3cdad9f1ce58b"},
        {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
         "cdc80d6fddf18cab34c25909c99a417467ce7f7f81173621961a2b70171d3d7a"},
        {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
         "dc7e84bfda79164b7ecd8486985d386039ffed143b28b1c832113c6331e5407b"},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> key = Hex(c.key);
        std::vector<uint8_t> out(plain.size());
        ASSERT_TRUE(AesCfb128(true, key.data(), key.size(), iv.data(), plain.data(), plain.size(),
                              out.data()));
        EXPECT_EQ(out, Hex(c.cipher)) << key.size() * 8;
    }
    const std::vector<uint8_t> desKey = Hex("0123456789abcdef");
    const std::vector<uint8_t> desIv = Hex("1234567890abcdef");
    const std::vector<uint8_t> text = Bytes("Now is the time for all ");
    std::vector<uint8_t> out(text.size());
    ASSERT_TRUE(DesCbc(true, desKey.data(), desIv.data(), text.data(), text.size(), out.data()));
    EXPECT_EQ(out, Hex("e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6"));
    EXPECT_FALSE(DesCbc(true, desKey.data(), desIv.data(), text.data(), 7, out.data()));
}

// RFC 3414 section 4: no engine ID, no user, no bindings, reportable.
const char kDiscovery[] = "303a020103300f02021234020300ffe3040104020103"
                          "0410300e0400020100020100040004000400"
                          "301204000400a00c020212340201000201003000";

TEST(UsmAnswers, DiscoveryRequestBytesAndTheirDecoding)
{
    UsmPeer peer;
    ASSERT_TRUE(UsmPeerInit(peer, UsmUser{}));
    std::vector<uint8_t> out;
    ASSERT_TRUE(UsmPrepareDiscovery(peer, 0x1234, out));
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
void MakePeer(UserModel& model, const Agent& agent)
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
    ASSERT_TRUE(model.Init(std::move(user)));
    const std::string engine = "agent-1";
    ASSERT_TRUE(UsmAdoptEngine(model.Peer(), std::vector<uint8_t>(engine.begin(), engine.end()),
                               agent.boots, 1000 + agent.timeOffset));
}

// A message from `agent` as our peer would see it, to message 77 and request 7.
AnswerKind Read(UserModel& model, const Agent& agent, uint8_t pduType, bool flipLastByte = false)
{
    UserModel sender;
    MakePeer(sender, agent);
    uint32_t sysName[] = {1, 3, 6, 1, 2, 1, 1, 5, 0};
    SnmpVarBind binding{{9, sysName}, {}};
    binding.value.tag = ASN_NULL;
    SnmpPdu pdu;
    pdu.pduType = pduType;
    pdu.requestId = 7;
    pdu.bindings = {&binding, 1};
    std::vector<uint8_t> out;
    EXPECT_TRUE(UsmPrepare(sender.Peer(), 77, pdu, out));
    if (flipLastByte) {
        out.back() ^= 1;
    }
    IncomingMessage answer;
    AnswerKind kind = MatchAnswer(model, {77, 7, 1, false, false}, out.data(), out.size(), answer);
    if (kind != AnswerKind::NotAnswer) {
        EXPECT_EQ(answer.pdu.bindings.count, 1u);
        FreeIncoming(answer);
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
        AnswerKind kind;
    } cases[] = {
        // clang-format off
        {"the answer", ours, PDU_RESPONSE, false, AnswerKind::Response},
        {"a changed byte", ours, PDU_RESPONSE, true, AnswerKind::NotAnswer},
        {"another passphrase", {"SHA-256", "authenticatiom", "AES", 5, 0}, PDU_RESPONSE, false, AnswerKind::NotAnswer},
        {"another protocol", {"SHA-384", "authentication", "AES", 5, 0}, PDU_RESPONSE, false, AnswerKind::NotAnswer},
        {"no privacy", {"SHA-256", "authentication", "", 5, 0}, PDU_RESPONSE, false, AnswerKind::NotAnswer},
        {"no authentication", {"", "", "", 5, 0}, PDU_RESPONSE, false, AnswerKind::NotAnswer},
        {"an earlier boot", {"SHA-256", "authentication", "AES", 4, 0}, PDU_RESPONSE, false, AnswerKind::NotAnswer},
        {"too old", {"SHA-256", "authentication", "AES", 5, -151}, PDU_RESPONSE, false, AnswerKind::NotAnswer},
        {"old within the window", {"SHA-256", "authentication", "AES", 5, -140}, PDU_RESPONSE, false, AnswerKind::Response},
        {"a later boot", {"SHA-256", "authentication", "AES", 6, -900}, PDU_RESPONSE, false, AnswerKind::Response},
        {"a request", ours, PDU_GET, false, AnswerKind::NotAnswer},
        {"a report without authentication", {"", "", "", 5, 0}, PDU_REPORT, false, AnswerKind::UnprovenReport},
        {"an authentic report", ours, PDU_REPORT, false, AnswerKind::Report},
        // clang-format on
    };
    for (const Case& c : cases) {
        UserModel model;
        MakePeer(model, ours);
        EXPECT_EQ(Read(model, c.agent, c.pduType, c.flip), c.kind) << c.what;
    }
}

TEST(UsmAnswers, ReportsAreNamedByTheirCounter)
{
    // usmStats 1 to 6 (RFC 3414 section 5), then what is not one of them.
    const uint32_t codes[] = {ERROR_USM_UNSUPPORTED_LEVEL, ERROR_USM_NOT_IN_TIME_WINDOW,
                              ERROR_USM_UNKNOWN_USER,      ERROR_USM_UNKNOWN_ENGINE,
                              ERROR_USM_WRONG_DIGEST,      ERROR_USM_DECRYPTION,
                              ERROR_USM_OTHER_REPORT};
    uint32_t ids[] = {1, 3, 6, 1, 6, 3, 15, 1, 1, 0, 0};
    SnmpVarBind binding{{11, ids}, {}};
    SnmpPdu report;
    report.bindings = {&binding, 1};
    for (uint32_t counter = 1; counter <= 7; ++counter) {
        ids[9] = counter;
        EXPECT_EQ(UsmReportCode(report), codes[counter - 1]) << counter;
        EXPECT_NE(LastErrorText(codes[counter - 1]), nullptr);
    }
    ids[9] = 3;
    binding.name.count = 10;
    EXPECT_EQ(UsmReportCode(report), ERROR_USM_OTHER_REPORT);
    ids[6] = 11;
    binding.name.count = 11;
    EXPECT_EQ(UsmReportCode(report), ERROR_USM_OTHER_REPORT);
}

}  // namespace
