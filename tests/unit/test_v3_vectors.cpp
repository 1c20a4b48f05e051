// SNMPv3 exchanges captured from the system's snmpget and snmpd
// (tests/vectors/v3.jsonl): each datagram decodes to its dissection; each
// authenticated one carries the digest that the stated passphrase and engine ID
// give (RFC 3414 section 6.3.1), the wrong-digest request one that they do not;
// the authPriv ones decrypt (RFC 3826 section 3.1.3 for AES, RFC 3414 section
// 8.1.1 for DES) to their scoped PDU.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "security/usm_keys.h"
#include "security/usm_message.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex)
{
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::string ToHex(const Bytes& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t byte : bytes) {
        hex += {digits[byte >> 4], digits[byte & 15]};
    }
    return hex;
}

// The value of "key" in a flat JSON object whose strings hold no escapes.
std::string Field(const std::string& line, const std::string& key)
{
    const std::string opening = "\"" + key + "\": \"";
    const size_t start = line.find(opening);
    if (start == std::string::npos) {
        return "";
    }
    const size_t from = start + opening.size();
    return line.substr(from, line.find('"', from) - from);
}

std::string Bindings(const SnmpMessage& pdu)
{
    std::string text;
    for (uint32_t i = 0; i < pdu.bindings.count; ++i) {
        const SnmpVarBind& binding = pdu.bindings.bindings[i];
        text += i == 0 ? "" : " ";
        for (uint32_t k = 0; k < binding.name.count; ++k) {
            text += (k == 0 ? "" : ".") + std::to_string(binding.name.ids[k]);
        }
        const AsnAny& value = binding.value;
        if (value.tag == ASN_COUNTER) {
            text += "=" + std::to_string(value.data.unsigned32);
        } else if (value.tag == ASN_OCTETSTRING) {
            text += "=" + std::string(reinterpret_cast<const char*>(value.data.bytes.stream),
                                      value.data.bytes.length);
        }
    }
    return text.empty() ? "-" : text;
}

std::string Flags(uint8_t flags)
{
    std::string text;
    for (auto [bit, word] : {std::pair{kMsgFlagAuth, "auth"}, {kMsgFlagPriv, "priv"},
                             {kMsgFlagReportable, "reportable"}}) {
        if ((flags & bit) != 0) {
            text += (text.empty() ? "" : " ") + std::string(word);
        }
    }
    return text.empty() ? "-" : text;
}

struct User {
    AuthProtocol auth = AuthProtocol::None;
    PrivProtocol priv = PrivProtocol::None;
    std::string authPass, privPass;
    Bytes engineId;
};

// HMAC over the whole message with the digest's place zeroed (RFC 3414 section 6.3.1).
bool DigestMatches(const Bytes& datagram, size_t authOffset, const V3Message& m, const User& user,
                   const std::string& passphrase)
{
    SecretKey key;
    const HashKind hash = HashOf(user.auth);
    EXPECT_TRUE(LocaliseKey(hash, passphrase, m.engineId.data(), m.engineId.size(), key));
    Bytes zeroed = datagram;
    std::fill_n(zeroed.begin() + static_cast<long>(authOffset), m.authParams.size(), 0);
    uint8_t mac[kMaxDigestSize];
    EXPECT_TRUE(ComputeHmac(hash, key.bytes.data(), key.bytes.size(), zeroed.data(), zeroed.size(),
                            mac));
    return m.authParams.size() == MacSize(user.auth) &&
           Bytes(mac, mac + MacSize(user.auth)) == m.authParams;
}

Bytes Decrypt(const V3Message& m, const User& user)
{
    SecretKey key;
    EXPECT_TRUE(MakePrivKey(HashOf(user.auth), user.priv, user.privPass, m.engineId.data(),
                            m.engineId.size(), key));
    Bytes plain(m.data.size());
    EXPECT_EQ(m.privParams.size(), 8u);
    if (user.priv == PrivProtocol::Des) {
        // IV: the pre-IV (last 8 key bytes) XOR the salt.
        uint8_t iv[8];
        for (size_t i = 0; i < 8; ++i) {
            iv[i] = key.bytes[8 + i] ^ m.privParams[i];
        }
        EXPECT_TRUE(DesCbc(false, key.bytes.data(), iv, m.data.data(), m.data.size(), plain.data()));
    } else {
        // IV: engine boots and time, big-endian, then the salt.
        uint8_t iv[16];
        for (int i = 0; i < 4; ++i) {
            iv[i] = static_cast<uint8_t>(static_cast<uint32_t>(m.engineBoots) >> (24 - 8 * i));
            iv[4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(m.engineTime) >> (24 - 8 * i));
        }
        std::copy(m.privParams.begin(), m.privParams.end(), iv + 8);
        EXPECT_TRUE(AesCfb128(false, key.bytes.data(), key.bytes.size(), iv, m.data.data(),
                              m.data.size(), plain.data()));
    }
    return plain;
}

// The one place that calls the codec: the dissection of one datagram, after
// its digest is checked with `passphrase` and its scoped PDU decrypted.
std::string Dissect(const Bytes& datagram, const User& user, const std::string& passphrase,
                    bool* digestMatches)
{
    V3Message m;
    size_t authOffset = 0;
    if (!DecodeV3Message(datagram.data(), datagram.size(), m, authOffset)) {
        return "refused";
    }
    if ((m.flags & kMsgFlagAuth) != 0) {
        *digestMatches = DigestMatches(datagram, authOffset, m, user, passphrase);
    }
    const Bytes scoped = (m.flags & kMsgFlagPriv) != 0 ? Decrypt(m, user) : m.data;
    Bytes contextEngineId;
    SnmpMessage pdu;
    if (!DecodeScopedPdu(scoped.data(), scoped.size(), contextEngineId, pdu)) {
        return "scoped PDU refused";
    }
    const char* type = pdu.pduType == PDU_GET        ? "GET"
                       : pdu.pduType == PDU_RESPONSE ? "Response"
                       : pdu.pduType == PDU_REPORT   ? "Report"
                                                     : "?";
    std::string text = std::string(type) + " " + Bindings(pdu) + "; flags " + Flags(m.flags) +
                       "; user " + (m.userName.empty() ? "-" : m.userName) + "; engine " +
                       (m.engineId.empty() ? "-" : ToHex(m.engineId));
    FreeMessage(pdu);
    return text;
}

TEST(V3Captures, DecodeCheckDigestsDecryptAndMatchTheirDissection)
{
    std::ifstream in(VECTORS_DIR "/v3.jsonl");
    std::string line;
    int runs = 0;
    while (std::getline(in, line)) {
        ++runs;
        const std::string name = Field(line, "name");
        User user;
        ASSERT_TRUE(ParseAuthProtocol(Field(line, "auth"), user.auth)) << name;
        const std::string priv = Field(line, "priv");
        ASSERT_TRUE(priv.empty() || ParsePrivProtocol(priv, user.priv)) << name;
        user.authPass = Field(line, "authPass");
        user.privPass = Field(line, "privPass");
        const std::string given = Field(line, "givenPass");
        for (const char* key : {"request1", "response1", "request2", "response2"}) {
            SCOPED_TRACE(name + " " + key);
            bool stated = false;
            bool byGiven = false;
            const Bytes datagram = FromHex(Field(line, key));
            const std::string what = Field(line, std::string("what-") + key);
            ASSERT_FALSE(datagram.empty());
            EXPECT_EQ(Dissect(datagram, user, user.authPass, &stated), what);
            Dissect(datagram, user, given, &byGiven);
            // Authenticated datagrams carry the digest of the passphrase that
            // snmpget was given: the stated one, or in the wrong-digest run not.
            const bool authenticated = what.find("flags auth") != std::string::npos;
            EXPECT_EQ(byGiven, authenticated);
            EXPECT_EQ(stated, authenticated && given == user.authPass);
        }
    }
    EXPECT_EQ(runs, 4);
}

}  // namespace
