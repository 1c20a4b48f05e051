// Wire vectors (tests/vectors): each captured exchange decodes to what its
// dissection says, and a table of messages, expected failures included, pins
// what a decoder must refuse: an item under another tag than the one its place
// requires, an identifier of more than 128 sub-identifiers.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "ber/ber_codec.h"
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

std::string Dotted(const AsnObjectIdentifier& oid)
{
    std::string text;
    for (uint32_t i = 0; i < oid.count; ++i) {
        text += (i == 0 ? "" : ".") + std::to_string(oid.ids[i]);
    }
    return text;
}

// What a decoded datagram holds, in the words of the dissections.
struct Dissection {
    bool decoded = false;
    int32_t version = -1;
    uint8_t pduType = 0;
    std::string community;
    int32_t requestId = 0;
    int32_t errorStatus = 0;
    int32_t errorIndex = 0;
    std::vector<std::string> names;
    std::vector<std::string> values;  // Counter, TimeTicks and identifiers only
    std::string enterprise;
    std::string agentAddress;
    int32_t genericTrap = 0;
    int32_t specificTrap = 0;
    uint32_t timeStamp = 0;
};

// The one place that calls the codec.
Dissection Dissect(const Bytes& datagram)
{
    Dissection d;
    SnmpMessage m;
    d.decoded = DecodeMessage(datagram.data(), datagram.size(), m);
    if (!d.decoded) {
        return d;
    }
    d.version = m.version;
    d.pduType = m.pdu.pduType;
    d.community = m.community;
    d.requestId = m.pdu.requestId;
    d.errorStatus = m.pdu.errorStatus;
    d.errorIndex = m.pdu.errorIndex;
    for (uint32_t i = 0; i < m.pdu.bindings.count; ++i) {
        const SnmpVarBind& binding = m.pdu.bindings.bindings[i];
        d.names.push_back(Dotted(binding.name));
        const AsnAny& value = binding.value;
        d.values.push_back(value.tag == ASN_OBJECTIDENTIFIER ? Dotted(value.data.object)
                           : value.tag == ASN_TIMETICKS || value.tag == ASN_COUNTER
                               ? std::to_string(value.data.unsigned32)
                               : "");
    }
    d.enterprise = Dotted(m.pdu.enterprise);
    for (uint8_t byte : m.pdu.agentAddress) {
        d.agentAddress += (d.agentAddress.empty() ? "" : ".") + std::to_string(byte);
    }
    d.genericTrap = m.pdu.genericTrap;
    d.specificTrap = m.pdu.specificTrap;
    d.timeStamp = m.pdu.timeStamp;
    FreeMessage(m);
    return d;
}

std::string Joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : ", ") + word;
    }
    return text;
}

// The dissection sentence of an exchange (request and response) or of a trap.
std::string Sentence(const Dissection& first, const Dissection* response)
{
    if (first.pduType == PDU_TRAP_V1) {
        return "SNMPv1 Trap-PDU: enterprise " + first.enterprise + ", agent-addr " +
               first.agentAddress + ", generic " + std::to_string(first.genericTrap) +
               ", specific " + std::to_string(first.specificTrap) + ", time-stamp " +
               std::to_string(first.timeStamp) + ", " + std::to_string(first.names.size()) +
               " bindings";
    }
    if (first.pduType == PDU_TRAP_V2) {
        if (first.names.size() < 2 || first.names[0] != "1.3.6.1.2.1.1.3.0" ||
            first.names[1] != "1.3.6.1.6.3.1.1.4.1.0") {
            return "a v2c trap without sysUpTime.0 and snmpTrapOID.0 first";
        }
        return "SNMPv2c SNMPv2-Trap-PDU (tag 0xA7): sysUpTime.0 " + first.values[0] +
               ", snmpTrapOID.0 " + first.values[1] + ", " +
               std::to_string(first.names.size() - 2) + " further bindings";
    }
    const char* type = first.pduType == PDU_GET       ? "GET"
                       : first.pduType == PDU_GETNEXT ? "GETNEXT"
                       : first.pduType == PDU_SET     ? "SET"
                                                      : "?";
    std::string text = std::string(type) + " from the peer manager, community " +
                       first.community + ", " + Joined(first.names) + "; ";
    if (response == nullptr) {
        return text + "the agent stays silent (unknown community)";
    }
    return text + "the agent answers error status " + std::to_string(response->errorStatus) +
           ", index " + std::to_string(response->errorIndex);
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

TEST(Exchanges, EachDecodesToItsDissection)
{
    std::ifstream in(VECTORS_DIR "/exchanges.jsonl");
    std::string line;
    int exchanges = 0;
    while (std::getline(in, line)) {
        SCOPED_TRACE(Field(line, "name"));
        ++exchanges;
        const std::string trap = Field(line, "trap");
        const Dissection first = Dissect(FromHex(trap.empty() ? Field(line, "request") : trap));
        ASSERT_TRUE(first.decoded);
        const std::string responseHex = Field(line, "response");
        const Dissection response = Dissect(FromHex(responseHex));
        if (!responseHex.empty()) {
            ASSERT_TRUE(response.decoded);
            EXPECT_EQ(response.pduType, PDU_RESPONSE);
            EXPECT_EQ(response.requestId, first.requestId);
            EXPECT_EQ(response.community, first.community);
            EXPECT_EQ(response.names.size(), first.names.size());
        }
        EXPECT_EQ(Sentence(first, responseHex.empty() ? nullptr : &response), Field(line, "what"));
    }
    EXPECT_EQ(exchanges, 18);
}

std::string Tlv(const std::string& tag, const std::string& content)
{
    const size_t size = content.size() / 2;
    const uint8_t length[] = {0x82, static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
    std::string hex;
    for (size_t i = size < 0x80 ? 2 : (size < 0x100 ? 1 : 0); i < 3; ++i) {
        const char* digits = "0123456789abcdef";
        hex += {digits[length[i] >> 4], digits[length[i] & 15]};
    }
    if (size >= 0x80 && size < 0x100) {
        hex.replace(0, 2, "81");
    }
    return tag + hex + content;
}

// 1.3 (one byte), then ones up to `subIds` sub-identifiers.
std::string LongName(size_t subIds)
{
    std::string content = "2b";
    for (size_t i = 2; i < subIds; ++i) {
        content += "01";
    }
    return Tlv("06", content);
}

// A GetResponse, community "public", request ID 1, one binding of `name` and `value`.
std::string Response(const std::string& name, const std::string& value)
{
    return Tlv("30", "02010004067075626c6963" +
                         Tlv("a2", "020101020100020100" + Tlv("30", Tlv("30", name + value))));
}

TEST(Refusals, ItemsUnderAnotherTagAndOverlongNamesAreRefused)
{
    const std::string sysDescr = "06082b06010201010100";
    const std::string good = Response(sysDescr, "0500");
    const std::string coldStart = "302a02010004067075626c6963a41d06092b06010401bf08020340040a01020302"
                                  "0100020100430270a53000";
    // {refused, title, message, bytes of it replaced, by these}
    const std::tuple<bool, const char*, std::string, std::string, std::string> rows[] = {
        {false, "a well-formed response", good, "", ""},
        {true, "version as a Counter", good, "3026020100", "3026410100"},
        {true, "community as an identifier", good, "04067075", "06067075"},
        {true, "request ID as a Counter", good, "a219020101", "a219410101"},
        {true, "error status as a Counter", good, "020101020100", "020101410100"},
        {true, "error index as a string", good, "020100300e", "040100300e"},
        {true, "binding list as a SET", good, "300e300c", "310e300c"},
        {true, "binding as a SET", good, "300c0608", "310c0608"},
        {true, "a string as a name", good, "300c0608", "300c0408"},
        {false, "a name of 128 sub-identifiers", Response(LongName(128), "0500"), "", ""},
        {true, "a name of 129 sub-identifiers", Response(LongName(129), "0500"), "", ""},
        {false, "an identifier value of 128 sub-identifiers", Response(sysDescr, LongName(128)), "", ""},
        {true, "an identifier value of 129 sub-identifiers", Response(sysDescr, LongName(129)), "", ""},
        {false, "a v1 trap", coldStart, "", ""},
        {true, "trap enterprise as a string", coldStart, "06092b", "04092b"},
        {true, "trap agent address as a string", coldStart, "40040a", "04040a"},
        {true, "trap generic number as a Counter", coldStart, "0201000201004302", "4101000201004302"},
        {true, "trap time-stamp as an INTEGER", coldStart, "430270a5", "020270a5"},
    };
    for (auto [refused, title, hex, from, to] : rows) {
        if (!from.empty()) {
            ASSERT_NE(hex.find(from), std::string::npos) << title;
            hex.replace(hex.find(from), from.size(), to);
        }
        EXPECT_EQ(Dissect(FromHex(hex)).decoded, !refused) << title << ": " << hex;
    }
}

// SNMPv3 (v3.jsonl, from snmpget and snmpd): each datagram decodes to its
// dissection; each authenticated one carries the digest that the stated
// passphrase and engine ID give (RFC 3414 section 6.3.1), the wrong-digest
// request one that they do not; the authPriv ones decrypt (RFC 3826 section
// 3.1.3 for AES, RFC 3414 section 8.1.1 for DES) to their scoped PDU.

std::string ToHex(const Bytes& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t byte : bytes) {
        hex += {digits[byte >> 4], digits[byte & 15]};
    }
    return hex;
}

std::string Bindings(const SnmpPdu& pdu)
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
    EXPECT_TRUE(MakePrivKey(HashOf(user.auth), PrivKeySize(user.priv), user.privPass, m.engineId.data(),
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

// The one place of the v3 test that calls the codec: the dissection of one datagram, after
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
    std::string contextName;
    SnmpPdu pdu;
    if (!DecodeScopedPdu(scoped.data(), scoped.size(), contextEngineId, contextName, pdu)) {
        return "scoped PDU refused";
    }
    const char* type = pdu.pduType == PDU_GET        ? "GET"
                       : pdu.pduType == PDU_RESPONSE ? "Response"
                       : pdu.pduType == PDU_REPORT   ? "Report"
                                                     : "?";
    std::string text = std::string(type) + " " + Bindings(pdu) + "; flags " + Flags(m.flags) +
                       "; user " + (m.userName.empty() ? "-" : m.userName) + "; engine " +
                       (m.engineId.empty() ? "-" : ToHex(m.engineId));
    FreePdu(pdu);
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
