// The codec: every captured datagram decodes to its dissection, encodes back to
// its own bytes and is refused when cut at any length; tables of values and of
// messages in hex say what each reads as, or that it is refused (an item under
// another tag than its place requires, an identifier of over 128 sub-identifiers).
#include <gtest/gtest.h>

#include <filesystem>
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

std::string ToHex(const uint8_t* data, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < size; ++i) {
        hex += {digits[data[i] >> 4], digits[data[i] & 15]};
    }
    return hex;
}

std::string Dotted(const AsnObjectIdentifier& oid)
{
    std::string text;
    for (uint32_t i = 0; i < oid.count; ++i) {
        text += (i == 0 ? "" : ".") + std::to_string(oid.ids[i]);
    }
    return text;
}

std::string Describe(const AsnAny& value)
{
    switch (value.tag) {
    case ASN_INTEGER:
        return "INTEGER " + std::to_string(value.data.integer);
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
        return ToHex(&value.tag, 1) + " " + std::to_string(value.data.unsigned32);
    case ASN_COUNTER64:
        return ToHex(&value.tag, 1) + " " + std::to_string(value.data.counter64);
    case ASN_NULL:
        return "NULL";
    case ASN_OBJECTIDENTIFIER:
        return "OID " + Dotted(value.data.object);
    default:
        return ToHex(&value.tag, 1) + " " + ToHex(value.data.bytes.stream, value.data.bytes.length);
    }
}

// Datagrams captured from a real peer: the seeds of the decoder's fuzz corpus
// that are not our own ("own-").
std::vector<Bytes> CapturedDatagrams()
{
    std::vector<Bytes> datagrams;
    for (const auto& entry : std::filesystem::directory_iterator(CAPTURES_DIR)) {
        if (entry.path().filename().string().rfind("own-", 0) != 0) {
            std::ifstream in(entry.path(), std::ios::binary);
            datagrams.emplace_back(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
        }
    }
    return datagrams;
}

TEST(Vectors, DecodeReencodeToTheSameBytesAndEveryCutIsRefused)
{
    const std::vector<Bytes> datagrams = CapturedDatagrams();
    ASSERT_GE(datagrams.size(), 30u);  // every seed is decoded, re-encoded and cut
    for (const Bytes& bytes : datagrams) {
        SCOPED_TRACE(ToHex(bytes.data(), bytes.size()));
        SnmpMessage message;
        ASSERT_TRUE(DecodeMessage(bytes.data(), bytes.size(), message));
        Bytes again;
        EXPECT_TRUE(EncodeMessage(message, again));
        EXPECT_EQ(ToHex(again.data(), again.size()), ToHex(bytes.data(), bytes.size()));
        int32_t version = -1, requestId = -1;
        uint8_t pduType = 0;
        ASSERT_TRUE(PeekMessageHeader(bytes.data(), bytes.size(), version, pduType, requestId));
        EXPECT_EQ(version, message.version);
        EXPECT_EQ(pduType, message.pdu.pduType);
        EXPECT_EQ(requestId, message.pdu.requestId);
        FreeMessage(message);
        for (size_t size = 0; size < bytes.size(); ++size) {
            SnmpMessage cut;
            EXPECT_FALSE(DecodeMessage(bytes.data(), size, cut)) << "cut at " << size;
            EXPECT_EQ(cut.pdu.bindings.count, 0u);
            EXPECT_FALSE(PeekMessageHeader(bytes.data(), size, version, pduType, requestId));
        }
    }
}

std::string Tlv(const std::string& tag, const std::string& content)
{
    const size_t size = content.size() / 2;
    const uint8_t length[] = {0x82, static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
    return tag +
           (size < 0x80    ? ToHex(length + 2, 1)
            : size < 0x100 ? "81" + ToHex(length + 2, 1)
                           : ToHex(length, 3)) +
           content;
}

const std::string kName = Tlv("06", "2b06010201010100");  // 1.3.6.1.2.1.1.1.0

// A GetResponse (or `pdu`) of version 0, community "public", request ID 1.
std::string Message(const std::string& bindings, const std::string& pdu = "a2")
{
    return Tlv("30", "020100" + Tlv("04", "7075626c6963") +
                         Tlv(pdu, "020101020100020100" + Tlv("30", bindings)));
}

struct ValueRow {
    const char* hex;      // the value's TLV, bound to sysDescr.0
    const char* reads;    // its description, or "" when the datagram is refused
    bool writtenTheSame;  // encoded back to the same bytes
};

const ValueRow kValues[] = {
    {"020100", "INTEGER 0", true},
    {"02017f", "INTEGER 127", true},
    {"02020080", "INTEGER 128", true},
    {"020180", "INTEGER -128", true},
    {"0202ff7f", "INTEGER -129", true},
    {"020480000000", "INTEGER -2147483648", true},
    {"0203000005", "INTEGER 5", false},
    {"0206ffffffffffff", "INTEGER -1", false},
    {"0200", "", false},
    {"02050100000000", "", false},
    {"410100", "41 0", true},
    {"410200ff", "41 255", true},
    {"43050100000000", "", false},
    {"430500ffffffff", "43 4294967295", true},
    {"42037fffff", "42 8388607", true},
    {"410280e8", "41 33000", false},
    {"41050100000000", "", false},
    {"0500", "NULL", true},
    {"050100", "", false},
    {"0580", "", false},
    {"06028837", "OID 2.999", true},
    {"06062b8fffffff7f", "OID 1.3.4294967295", true},
    {"06032b8001", "OID 1.3.1", false},
    {"0600", "", false},
    {"06032b0681", "", false},
    {"06072b06019080808000", "", false},
    {"0403616263", "04 616263", true},
    {"40040a010203", "40 0a010203", true},
    {"4403010203", "44 010203", true},
    {"460900ffffffffffffffff", "46 18446744073709551615", true},
    {"8100", "81 ", true},
    {"5f810100", "", false},
};

TEST(Values, ReadAsTheTableSaysAndWrittenBackMinimal)
{
    for (const ValueRow& row : kValues) {
        const Bytes bytes = FromHex(Message(Tlv("30", kName + row.hex)));
        SnmpMessage message;
        const bool read = DecodeMessage(bytes.data(), bytes.size(), message);
        ASSERT_EQ(read, *row.reads != '\0') << row.hex;
        if (!read) {
            EXPECT_EQ(message.pdu.bindings.bindings, nullptr) << row.hex;
            continue;
        }
        ASSERT_EQ(message.pdu.bindings.count, 1u);
        EXPECT_EQ(Describe(message.pdu.bindings.bindings[0].value), row.reads) << row.hex;
        Bytes again;
        EXPECT_TRUE(EncodeMessage(message, again));
        EXPECT_EQ(again == bytes, row.writtenTheSame)
            << row.hex << " -> " << ToHex(again.data(), again.size());
        FreeMessage(message);
    }
}

TEST(Lengths, LongFormsAreReadAndTheFewestBytesWritten)
{
    // A value of 300 bytes: long forms at every level above it.
    const Bytes bytes = FromHex(Message(Tlv("30", kName + Tlv("04", std::string(600, 'a')))));
    SnmpMessage message;
    ASSERT_TRUE(DecodeMessage(bytes.data(), bytes.size(), message));
    EXPECT_EQ(message.pdu.bindings.bindings[0].value.data.bytes.length, 300u);
    Bytes again;
    EXPECT_TRUE(EncodeMessage(message, again));
    EXPECT_EQ(ToHex(again.data(), again.size()), ToHex(bytes.data(), bytes.size()));
    FreeMessage(message);
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

// The dissection sentence of an exchange (request and response) or of a trap.
std::string Sentence(const SnmpPdu& first, const std::string& community, const SnmpPdu* response)
{
    const SnmpVarBind* b = first.bindings.bindings;
    const uint32_t count = first.bindings.count;
    if (first.pduType == PDU_TRAP_V1) {
        std::string address;
        for (uint8_t byte : first.agentAddress) {
            address += (address.empty() ? "" : ".") + std::to_string(byte);
        }
        return "SNMPv1 Trap-PDU: enterprise " + Dotted(first.enterprise) + ", agent-addr " +
               address + ", generic " + std::to_string(first.genericTrap) + ", specific " +
               std::to_string(first.specificTrap) + ", time-stamp " +
               std::to_string(first.timeStamp) + ", " + std::to_string(count) + " bindings";
    }
    if (first.pduType == PDU_TRAP_V2) {
        if (count < 2 || Dotted(b[0].name) != "1.3.6.1.2.1.1.3.0" ||
            b[0].value.tag != ASN_TIMETICKS || Dotted(b[1].name) != "1.3.6.1.6.3.1.1.4.1.0" ||
            b[1].value.tag != ASN_OBJECTIDENTIFIER) {
            return "a v2c trap without sysUpTime.0 and snmpTrapOID.0 first";
        }
        return "SNMPv2c SNMPv2-Trap-PDU (tag 0xA7): sysUpTime.0 " +
               std::to_string(b[0].value.data.unsigned32) + ", snmpTrapOID.0 " +
               Dotted(b[1].value.data.object) + ", " + std::to_string(count - 2) +
               " further bindings";
    }
    const char* type = first.pduType == PDU_GET       ? "GET"
                       : first.pduType == PDU_GETNEXT ? "GETNEXT"
                       : first.pduType == PDU_SET     ? "SET"
                                                      : "?";
    std::string text = std::string(type) + " from the peer manager, community " + community + ", ";
    for (uint32_t i = 0; i < count; ++i) {
        text += (i == 0 ? "" : ", ") + Dotted(b[i].name);
    }
    if (response == nullptr) {
        return text + "; the agent stays silent (unknown community)";
    }
    return text + "; the agent answers error status " + std::to_string(response->errorStatus) +
           ", index " + std::to_string(response->errorIndex);
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
        const Bytes firstBytes = FromHex(trap.empty() ? Field(line, "request") : trap);
        const Bytes responseBytes = FromHex(Field(line, "response"));
        SnmpMessage first, response;
        ASSERT_TRUE(DecodeMessage(firstBytes.data(), firstBytes.size(), first));
        const bool answered = !responseBytes.empty();
        if (answered) {
            ASSERT_TRUE(DecodeMessage(responseBytes.data(), responseBytes.size(), response));
            EXPECT_EQ(response.pdu.pduType, PDU_RESPONSE);
            EXPECT_EQ(response.pdu.requestId, first.pdu.requestId);
            EXPECT_EQ(response.community, first.community);
            EXPECT_EQ(response.pdu.bindings.count, first.pdu.bindings.count);
        }
        EXPECT_EQ(Sentence(first.pdu, first.community, answered ? &response.pdu : nullptr),
                  Field(line, "what"));
        FreeMessage(first);
        FreeMessage(response);
    }
    EXPECT_EQ(exchanges, 18);
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

TEST(Refusals, ItemsUnderAnotherTagAndOverlongNamesAreRefused)
{
    const std::string good = Message(Tlv("30", kName + "0500"));
    // The PDU must be the message's last item: the outer length grows by the NULL after it.
    const std::string itemAfterPdu = "3028" + good.substr(4) + "0500";
    const std::string coldStart =
        "302a02010004067075626c6963a41d06092b06010401bf08020340040a01020302"
        "0100020100430270a53000";
    // {refused, title, message, bytes of it replaced, by these}
    const std::tuple<bool, const char*, std::string, std::string, std::string> rows[] = {
        {false, "a well-formed response", good, "", ""},
        {false, "an outer length in more bytes than needed", good, "3026", "30820026"},
        {true, "an indefinite outer length", good + "0000", "3026", "3080"},
        {true, "a reserved outer length", good, "3026", "30ff"},
        {true, "an overflowing outer length", good, "3026", "3089ffffffffffffffffff"},
        {true, "an outer length beyond the datagram", good, "3026", "3029"},
        {true, "a trailing byte", good + "00", "", ""},
        {true, "an item after the PDU", itemAfterPdu, "", ""},
        {true, "version as a Counter", good, "3026020100", "3026410100"},
        {true, "community as an identifier", good, "04067075", "06067075"},
        {true, "request ID as a Counter", good, "a219020101", "a219410101"},
        {true, "error status as a Counter", good, "020101020100", "020101410100"},
        {true, "error index as a string", good, "020100300e", "040100300e"},
        {true, "binding list as a SET", good, "300e300c", "310e300c"},
        {true, "binding as a SET", good, "300c0608", "310c0608"},
        {true, "a string as a name", good, "300c0608", "300c0408"},
        {false, "a name of 128 sub-identifiers", Message(Tlv("30", LongName(128) + "0500")), "",
         ""},
        {true, "a name of 129 sub-identifiers", Message(Tlv("30", LongName(129) + "0500")), "", ""},
        {false, "an identifier value of 128", Message(Tlv("30", kName + LongName(128))), "", ""},
        {true, "an identifier value of 129", Message(Tlv("30", kName + LongName(129))), "", ""},
        {false, "a v1 trap", coldStart, "", ""},
        {true, "trap enterprise as a string", coldStart, "06092b", "04092b"},
        {true, "trap agent address as a string", coldStart, "40040a", "04040a"},
        {true, "trap generic number as a Counter", coldStart, "0201000201004302",
         "4101000201004302"},
        {true, "trap time-stamp as an INTEGER", coldStart, "430270a5", "020270a5"},
    };
    for (auto [refused, title, hex, from, to] : rows) {
        if (!from.empty()) {
            ASSERT_NE(hex.find(from), std::string::npos) << title;
            hex.replace(hex.find(from), from.size(), to);
        }
        SnmpMessage m;
        const Bytes bytes = FromHex(hex);
        EXPECT_EQ(DecodeMessage(bytes.data(), bytes.size(), m), !refused) << title << ": " << hex;
        FreeMessage(m);
    }
    // The header's quick look, which settles strangers before a decode, agrees.
    const Bytes after = FromHex(itemAfterPdu);
    int32_t version = 0, requestId = 0;
    uint8_t pduType = 0;
    EXPECT_FALSE(PeekMessageHeader(after.data(), after.size(), version, pduType, requestId));
    const Bytes plain = FromHex(good);
    EXPECT_TRUE(PeekMessageHeader(plain.data(), plain.size(), version, pduType, requestId));
}

TEST(Encoder, RefusesWhatHasNoEncoding)
{
    uint32_t three[] = {3, 1};
    uint32_t forty[] = {1, 40};
    uint32_t one = 1;
    const AsnAny null{ASN_NULL, {}};
    const std::vector<SnmpVarBind> refused = {{{2, three}, null}, {{2, forty}, null}};
    for (SnmpVarBind binding : refused) {
        SnmpMessage message;
        message.pdu.bindings = SnmpVarBindList{&binding, 1};
        Bytes out = {1};
        EXPECT_FALSE(EncodeMessage(message, out));
        EXPECT_TRUE(out.empty());
    }
    // A walk from "1" asks for 1.0: the single byte 0x28 (X.690 section 8.19.4).
    SnmpVarBind walk{{1, &one}, null};
    SnmpMessage message;
    message.community = "public";
    message.pdu.requestId = 1;
    message.pdu.pduType = PDU_GETNEXT;
    message.pdu.bindings = SnmpVarBindList{&walk, 1};
    Bytes out;
    EXPECT_TRUE(EncodeMessage(message, out));
    EXPECT_EQ(ToHex(out.data(), out.size()), Message(Tlv("30", "060128"
                                                               "0500"),
                                                     "a1"));
}

// SNMPv3 (v3.jsonl, from snmpget and snmpd): each datagram decodes to its
// dissection; each authenticated one carries the digest that the stated
// passphrase and engine ID give (RFC 3414 section 6.3.1), the wrong-digest
// request one that they do not; the authPriv ones decrypt (RFC 3826 section
// 3.1.3 for AES, RFC 3414 section 8.1.1 for DES) to their scoped PDU.

std::string Bindings(const SnmpPdu& pdu)
{
    std::string text;
    for (uint32_t i = 0; i < pdu.bindings.count; ++i) {
        const SnmpVarBind& binding = pdu.bindings.bindings[i];
        text += i == 0 ? "" : " ";
        text += Dotted(binding.name);
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
    for (auto [bit, word] : {std::pair{kMsgFlagAuth, "auth"},
                             {kMsgFlagPriv, "priv"},
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
    EXPECT_TRUE(
        ComputeHmac(hash, key.bytes.data(), key.bytes.size(), zeroed.data(), zeroed.size(), mac));
    return m.authParams.size() == MacSize(user.auth) &&
           Bytes(mac, mac + MacSize(user.auth)) == m.authParams;
}

Bytes Decrypt(const V3Message& m, const User& user)
{
    SecretKey key;
    EXPECT_TRUE(MakePrivKey(HashOf(user.auth), PrivKeySize(user.priv), user.privPass,
                            m.engineId.data(), m.engineId.size(), key));
    Bytes plain(m.data.size());
    EXPECT_EQ(m.privParams.size(), 8u);
    if (user.priv == PrivProtocol::Des) {
        // IV: the pre-IV (last 8 key bytes) XOR the salt.
        uint8_t iv[8];
        for (size_t i = 0; i < 8; ++i) {
            iv[i] = key.bytes[8 + i] ^ m.privParams[i];
        }
        EXPECT_TRUE(
            DesCbc(false, key.bytes.data(), iv, m.data.data(), m.data.size(), plain.data()));
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
                       (m.engineId.empty() ? "-" : ToHex(m.engineId.data(), m.engineId.size()));
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
