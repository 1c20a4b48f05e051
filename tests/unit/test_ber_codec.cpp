// The message codec against captured exchanges, random round trips, and named
// datagrams that must be refused or, where agents are sloppy, still accepted.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "ber/ber_codec.h"

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
    std::string hex;
    char pair[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", data[i]);
        hex += pair;
    }
    return hex;
}

std::string FirstDifference(const Bytes& expected, const Bytes& actual)
{
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) {
        ++at;
    }
    return "first difference at offset " + std::to_string(at) + "\n expected " +
           ToHex(expected.data(), expected.size()) + "\n actual   " +
           ToHex(actual.data(), actual.size());
}

std::string OidText(const AsnObjectIdentifier& oid)
{
    std::string text;
    for (uint32_t i = 0; i < oid.count; ++i) {
        if (i > 0) {
            text += '.';
        }
        text += std::to_string(oid.ids[i]);
    }
    return text;
}

// One value as "Type value", the way the vectors' dissections read.
std::string DescribeValue(const AsnAny& value)
{
    switch (value.tag) {
    case ASN_INTEGER:
        return "INTEGER " + std::to_string(value.data.integer);
    case ASN_COUNTER:
        return "Counter " + std::to_string(value.data.unsigned32);
    case ASN_GAUGE:
        return "Gauge " + std::to_string(value.data.unsigned32);
    case ASN_TIMETICKS:
        return "TimeTicks " + std::to_string(value.data.unsigned32);
    case ASN_COUNTER64:
        return "Counter64 " + std::to_string(value.data.counter64);
    case ASN_NULL:
        return "NULL";
    case ASN_NOSUCHOBJECT:
    case ASN_NOSUCHINSTANCE:
    case ASN_ENDOFMIBVIEW:
        return "[" + ToHex(&value.tag, 1) + "]";
    case ASN_OBJECTIDENTIFIER:
        return "OID " + OidText(value.data.object);
    case ASN_OCTETSTRING:
        return "STRING \"" +
               std::string(reinterpret_cast<const char*>(value.data.bytes.stream),
                           value.data.bytes.length) +
               "\"";
    default:
        return "[" + ToHex(&value.tag, 1) + "] " +
               ToHex(value.data.bytes.stream, value.data.bytes.length);
    }
}

std::string Describe(const SnmpVarBind& binding)
{
    return OidText(binding.name) + " = " + DescribeValue(binding.value);
}

std::vector<std::string> Describe(const SnmpVarBindList& list)
{
    std::vector<std::string> lines;
    for (uint32_t i = 0; i < list.count; ++i) {
        lines.push_back(Describe(list.bindings[i]));
    }
    return lines;
}

// Every field that counts, so that two messages compare as one text.
std::string Describe(const SnmpMessage& m)
{
    std::string text =
        "v" + std::to_string(m.version) + " " + ToHex(&m.pduType, 1) + " [" + m.community + "] ";
    if (m.pduType == PDU_TRAP_V1) {
        text += OidText(m.enterprise) + " " + ToHex(m.agentAddress, 4) + " " +
                std::to_string(m.genericTrap) + "/" + std::to_string(m.specificTrap) + " @" +
                std::to_string(m.timeStamp);
    } else {
        text += std::to_string(m.requestId) + " " + std::to_string(m.errorStatus) + "/" +
                std::to_string(m.errorIndex);
    }
    for (const std::string& line : Describe(m.bindings)) {
        text += "\n  " + line;
    }
    return text;
}

// Decodes or fails the test; the caller frees.
SnmpMessage MustDecode(const Bytes& bytes)
{
    SnmpMessage message;
    EXPECT_TRUE(DecodeMessage(bytes.data(), bytes.size(), message))
        << ToHex(bytes.data(), bytes.size());
    return message;
}

void ExpectEmpty(const SnmpMessage& m)
{
    EXPECT_EQ(m.bindings.bindings, nullptr);
    EXPECT_EQ(m.bindings.count, 0u);
    EXPECT_EQ(m.enterprise.ids, nullptr);
    EXPECT_TRUE(m.community.empty());
}

// ---- The captured exchanges -------------------------------------------------

struct Vector {
    std::string name, what, request, response, trap;
};

// Reads one "key": "value" string field of a JSON line (no escapes occur in the file).
std::string Field(const std::string& line, const std::string& key)
{
    const std::string start = "\"" + key + "\": \"";
    const size_t at = line.find(start);
    if (at == std::string::npos) {
        return "";
    }
    const size_t from = at + start.size();
    return line.substr(from, line.find('"', from) - from);
}

std::vector<Vector> LoadVectors()
{
    std::vector<Vector> vectors;
    std::ifstream file(VECTORS_FILE);
    for (std::string line; std::getline(file, line);) {
        if (!line.empty()) {
            vectors.push_back({Field(line, "name"), Field(line, "what"), Field(line, "request"),
                               Field(line, "response"), Field(line, "trap")});
        }
    }
    return vectors;
}

// What each answer and trap carries, beyond the names its `what` gives.
const std::vector<std::pair<std::string, std::vector<std::string>>> kAnswers = {
    {"get-sysdescr",
     {"1.3.6.1.2.1.1.1.0 = STRING \"Linux vm 6.18.44-fc-v1272 #1 SMP "
      "PREEMPT_DYNAMIC @0 x86_64\""}},
    {"getnext-system",
     {"1.3.6.1.2.1.1.1.0 = STRING \"Linux vm 6.18.44-fc-v1272 #1 SMP "
      "PREEMPT_DYNAMIC @0 x86_64\""}},
    {"get-ipaddress", {"1.3.6.1.2.1.4.20.1.1.127.0.0.1 = [40] 7f000001"}},
    {"getnext-ipaddress", {"1.3.6.1.2.1.4.20.1.1.127.0.0.1 = [40] 7f000001"}},
    {"getnext-past-snmpv2-group", {"1.3.6.1.6.3.1.1.6.1.0 = INTEGER 1247856119"}},
    {"getnext-counter", {"1.3.6.1.2.1.2.2.1.10.1 = Counter 8277826"}},
    {"getnext-timeticks", {"1.3.6.1.2.1.25.1.1.0 = TimeTicks 27900"}},
    {"get-two-strings",
     {"1.3.6.1.2.1.1.4.0 = STRING \"root\"", "1.3.6.1.2.1.1.6.0 = STRING \"Unknown\""}},
    {"get-three-strings",
     {"1.3.6.1.2.1.1.4.0 = STRING \"x\"", "1.3.6.1.2.1.1.5.0 = STRING \"host-a\"",
      "1.3.6.1.2.1.1.6.0 = STRING \"Hard\""}},
    {"set-octet-string", {"1.3.6.1.2.1.1.4.0 = STRING \"ops team\""}},
    {"trap-v1-enterprise-specific",
     {"1.3.6.1.2.1.1.5.0 = STRING \"host-a\"", "1.3.6.1.2.1.2.2.1.1.3 = INTEGER 3"}},
    {"trap-v2c-linkdown",
     {"1.3.6.1.2.1.1.3.0 = TimeTicks 4242", "1.3.6.1.6.3.1.1.4.1.0 = OID 1.3.6.1.6.3.1.1.5.3",
      "1.3.6.1.2.1.2.2.1.1.2 = INTEGER 2"}},
};

const std::vector<std::string>* AnswerOf(const std::string& name)
{
    for (const auto& [vector, lines] : kAnswers) {
        if (vector == name) {
            return &lines;
        }
    }
    return nullptr;
}

std::vector<std::string> Split(const std::string& text, const std::string& separator)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at = text.find(separator); at != std::string::npos;
         at = text.find(separator, from)) {
        parts.push_back(text.substr(from, at - from));
        from = at + separator.size();
    }
    parts.push_back(text.substr(from));
    return parts;
}

void ExpectReencodes(const SnmpMessage& message, const Bytes& bytes)
{
    Bytes again;
    ASSERT_TRUE(EncodeMessage(message, again));
    EXPECT_EQ(again, bytes) << FirstDifference(bytes, again);
}

// A request and its answer: "GET from the peer manager, community public,
// <names>; the agent answers error status 2, index 1" (or stays silent).
void CheckExchange(const Vector& v, const std::smatch& what)
{
    const std::vector<std::string> names = Split(what[3], ", ");
    const uint8_t pduType =
        what[1] == "GET" ? PDU_GET : (what[1] == "GETNEXT" ? PDU_GETNEXT : PDU_SET);
    const Bytes requestBytes = FromHex(v.request);
    SnmpMessage request = MustDecode(requestBytes);
    EXPECT_EQ(request.version, SNMP_VERSION_1);
    EXPECT_EQ(request.pduType, pduType);
    EXPECT_EQ(request.community, what[2].str());
    ASSERT_EQ(request.bindings.count, names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(OidText(request.bindings.bindings[i].name), names[i]);
        if (pduType != PDU_SET) {
            EXPECT_EQ(request.bindings.bindings[i].value.tag, ASN_NULL);
        }
    }
    ExpectReencodes(request, requestBytes);

    if (what[4].matched) {
        const Bytes responseBytes = FromHex(v.response);
        SnmpMessage response = MustDecode(responseBytes);
        EXPECT_EQ(response.pduType, PDU_RESPONSE);
        EXPECT_EQ(response.community, request.community);
        EXPECT_EQ(response.requestId, request.requestId);
        EXPECT_EQ(response.errorStatus, std::stoi(what[4]));
        EXPECT_EQ(response.errorIndex, std::stoi(what[5]));
        // RFC 1157 sections 4.1.2 to 4.1.5: an error answer, and every SET
        // answer, carries the request's bindings back unchanged.
        const auto* answer = AnswerOf(v.name);
        if (pduType == PDU_SET || response.errorStatus != SNMP_ERROR_NOERROR) {
            EXPECT_EQ(Describe(response.bindings), Describe(request.bindings));
        } else if (answer == nullptr) {
            ADD_FAILURE() << "no dissection of the answer";
        }
        if (answer != nullptr) {
            EXPECT_EQ(Describe(response.bindings), *answer);
        }
        ExpectReencodes(response, responseBytes);
        FreeMessage(response);
    } else {
        EXPECT_TRUE(v.response.empty());
    }
    FreeMessage(request);
}

void CheckTrap(const Vector& v, const std::smatch* v1, const std::smatch* v2)
{
    const Bytes bytes = FromHex(v.trap);
    SnmpMessage trap = MustDecode(bytes);
    std::vector<std::string> expected;
    if (v1 != nullptr) {
        const std::smatch& w = *v1;
        EXPECT_EQ(trap.version, SNMP_VERSION_1);
        EXPECT_EQ(trap.pduType, PDU_TRAP_V1);
        EXPECT_EQ(OidText(trap.enterprise), w[1].str());
        const std::vector<std::string> octets = Split(w[2], ".");
        ASSERT_EQ(octets.size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(trap.agentAddress[i], std::stoi(octets[i]));
        }
        EXPECT_EQ(trap.genericTrap, std::stoi(w[3]));
        EXPECT_EQ(trap.specificTrap, std::stoi(w[4]));
        EXPECT_EQ(trap.timeStamp, std::stoul(w[5]));
        EXPECT_EQ(trap.bindings.count, std::stoul(w[6]));
    } else {
        // RFC 3416 section 4.2.6: sysUpTime.0 and snmpTrapOID.0 come first.
        const std::smatch& w = *v2;
        EXPECT_EQ(trap.version, SNMP_VERSION_2C);
        EXPECT_EQ(trap.pduType, PDU_TRAP_V2);
        const std::vector<std::string> lines = Describe(trap.bindings);
        ASSERT_EQ(lines.size(), 2 + std::stoul(w[3]));
        EXPECT_EQ(lines[0], "1.3.6.1.2.1.1.3.0 = TimeTicks " + w[1].str());
        EXPECT_EQ(lines[1], "1.3.6.1.6.3.1.1.4.1.0 = OID " + w[2].str());
    }
    const auto* answer = AnswerOf(v.name);
    if (answer != nullptr) {
        EXPECT_EQ(Describe(trap.bindings), *answer);
    }
    ExpectReencodes(trap, bytes);
    FreeMessage(trap);
}

TEST(Vectors, DecodeToWhatTheySayAndReencodeToTheSameBytes)
{
    const std::regex exchange(
        "(GET|GETNEXT|SET) from the peer manager, community (\\S+), (.+); the agent "
        "(?:answers error status (\\d+), index (\\d+)|stays silent.*)");
    const std::regex trapV1(
        "SNMPv1 Trap-PDU: enterprise ([\\d.]+), agent-addr ([\\d.]+), generic (\\d+), "
        "specific (\\d+), time-stamp (\\d+), (\\d+) bindings");
    const std::regex trapV2(
        "SNMPv2c SNMPv2-Trap-PDU \\(tag 0xA7\\): sysUpTime\\.0 (\\d+), snmpTrapOID\\.0 "
        "([\\d.]+), (\\d+) further bindings");
    const std::vector<Vector> vectors = LoadVectors();
    ASSERT_GE(vectors.size(), 18u);
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.name);
        std::smatch what;
        if (std::regex_match(v.what, what, exchange)) {
            CheckExchange(v, what);
        } else if (std::regex_match(v.what, what, trapV1)) {
            CheckTrap(v, &what, nullptr);
        } else if (std::regex_match(v.what, what, trapV2)) {
            CheckTrap(v, nullptr, &what);
        } else {
            ADD_FAILURE() << "no reading for: " << v.what;
        }
    }
}

TEST(Vectors, PeekReadsTheHeaderAndEveryTruncationIsRefused)
{
    for (const Vector& v : LoadVectors()) {
        for (const std::string* hex : {&v.request, &v.response, &v.trap}) {
            const Bytes bytes = FromHex(*hex);
            if (bytes.empty()) {
                continue;
            }
            SCOPED_TRACE(v.name);
            SnmpMessage whole = MustDecode(bytes);
            int32_t version = -1;
            uint8_t pduType = 0;
            int32_t requestId = -1;
            ASSERT_TRUE(PeekMessageHeader(bytes.data(), bytes.size(), version, pduType, requestId));
            EXPECT_EQ(version, whole.version);
            EXPECT_EQ(pduType, whole.pduType);
            EXPECT_EQ(requestId, whole.requestId);
            FreeMessage(whole);
            for (size_t size = 0; size < bytes.size(); ++size) {
                SnmpMessage cut;
                EXPECT_FALSE(DecodeMessage(bytes.data(), size, cut)) << "kept " << size;
                ExpectEmpty(cut);
                EXPECT_FALSE(PeekMessageHeader(bytes.data(), size, version, pduType, requestId));
            }
        }
    }
}

// Captured from the peer tools in version 2c: snmpbulkwalk's GETBULK (non-repeaters
// 0, max-repetitions 3) and snmpd's answer, and snmptrap's inform with a Counter64.
TEST(Vectors, CapturedVersion2cMessagesDecodeAndReencode)
{
    const std::vector<std::pair<std::string, std::string>> captured = {
        {"302802010104067075626c6963a51b020431eac43d020100020103300d300b06072b06010201010305"
         "00",
         "v1 a5 [public] 837469245 0/3\n  1.3.6.1.2.1.1.3 = NULL"},
        {"305102010104067075626c6963a244020431eac43d0201000201003036300e06082b06010201010300"
         "43020095301406082b0601020101040004086f70732d7465616d300e06082b060102010105000402766d",
         "v1 a2 [public] 837469245 0/0\n  1.3.6.1.2.1.1.3.0 = TimeTicks 149\n"
         "  1.3.6.1.2.1.1.4.0 = STRING \"ops-team\"\n  1.3.6.1.2.1.1.5.0 = STRING \"vm\""},
        {"305e02010104067075626c6963a65102045a83ff0e0201000201003043300e06082b06010201010300"
         "430210923017060a2b06010603010104010006092b06010603010105033018060b2b060102011f0101"
         "010601460900ffffffffffffffff",
         "v1 a6 [public] 1518599950 0/0\n  1.3.6.1.2.1.1.3.0 = TimeTicks 4242\n"
         "  1.3.6.1.6.3.1.1.4.1.0 = OID 1.3.6.1.6.3.1.1.5.3\n"
         "  1.3.6.1.2.1.31.1.1.1.6.1 = Counter64 18446744073709551615"},
    };
    for (const auto& [hex, expected] : captured) {
        const Bytes bytes = FromHex(hex);
        SnmpMessage m = MustDecode(bytes);
        EXPECT_EQ(Describe(m), expected);
        ExpectReencodes(m, bytes);
        FreeMessage(m);
    }
}

// ---- Datagrams built by hand ----------------------------------------------

// A minimal TLV builder of the test's own, in hex, so that each case below
// reads as the structure it breaks.
std::string Tlv(const std::string& tag, const std::string& content)
{
    const size_t size = content.size() / 2;
    char length[24];
    if (size < 0x80) {
        std::snprintf(length, sizeof length, "%02zx", size);
    } else if (size < 0x100) {
        std::snprintf(length, sizeof length, "81%02zx", size);
    } else {
        std::snprintf(length, sizeof length, "82%04zx", size);
    }
    return tag + length + content;
}

// The same with the length in `lengthBytes` bytes, more than it needs.
std::string LongTlv(const std::string& tag, const std::string& content, size_t lengthBytes)
{
    char length[24];
    std::snprintf(length, sizeof length, "%02zx%0*zx", 0x80 + lengthBytes,
                  static_cast<int>(2 * lengthBytes), content.size() / 2);
    return tag + length + content;
}

std::string Repeat(const std::string& hex, size_t times)
{
    std::string text;
    for (size_t i = 0; i < times; ++i) {
        text += hex;
    }
    return text;
}

const std::string kHead = "020100" + Tlv("04", "7075626c6963");  // version 0, "public"
const std::string kFields = "020101020100020100";                // request 1, status 0/0
const std::string kName = Tlv("06", "2b06010201010100");         // 1.3.6.1.2.1.1.1.0
const std::string kTrapFields =
    Tlv("06", "2b06010401bf0802") + "40040a010203" + "020106020111430102";

std::string Binding(const std::string& name, const std::string& value)
{
    return Tlv("30", name + value);
}

std::string Message(const std::string& pduTag, const std::string& bindings)
{
    return Tlv("30", kHead + Tlv(pduTag, kFields + Tlv("30", bindings)));
}

std::string Nested(size_t depth)
{
    return depth == 0 ? "0500" : Tlv("30", Nested(depth - 1));
}

struct Case {
    const char* title;
    std::string hex;
};

TEST(Decoder, RefusesMalformedDatagramsAndLeavesNothingBehind)
{
    const std::string good = Message("a0", Binding(kName, "0500"));
    const std::string goodContent = good.substr(4);
    const std::vector<Case> cases = {
        {"empty datagram", ""},
        {"wrong outer tag", "31" + good.substr(2)},
        {"indefinite length", "3080" + goodContent + "0000"},
        {"reserved length byte 0xFF", "30ff" + goodContent},
        {"length beyond the datagram", "3027" + goodContent},
        {"length that overflows any size", "3089ffffffffffffffffff" + goodContent},
        {"trailing byte after the message", good + "00"},
        {"leftover inside the message", Tlv("30", kHead + Tlv("a0", kFields + "3000") + "0500")},
        {"leftover inside a binding", Message("a0", Binding(kName, "0500" + std::string("0500")))},
        {"binding longer than its list", Message("a0", "300d" + kName + "0500")},
        {"second binding broken after a good one",
         Message("a2", Binding(kName, "0403616263") + Binding(kName, "050100"))},
        {"bindings not a SEQUENCE", Tlv("30", kHead + Tlv("a0", kFields + Tlv("31", "")))},
        {"binding not a SEQUENCE", Message("a0", Tlv("31", kName + "0500"))},
        {"version 3", Tlv("30", "020103" + kHead.substr(6) + Tlv("a0", kFields + "3000"))},
        {"community not an OCTET STRING", Tlv("30", "020100"
                                                    "0500" +
                                                        Tlv("a0", kFields + "3000"))},
        {"PDU tag after the Report PDU", Message("a9", "")},
        {"request ID missing", Tlv("30", kHead + Tlv("a0", "020100020100" + std::string("3000")))},
        {"nesting too deep", Tlv("30", kHead + Nested(100))},
        {"name not an identifier", Message("a0", Binding("0400", "0500"))},
        {"empty identifier", Message("a0", Binding("0600", "0500"))},
        {"identifier ends inside a sub-identifier", Message("a0", Binding("06032b0681", "0500"))},
        {"sub-identifier over 32 bits",
         Message("a0", Binding(Tlv("06", "2b06019080808000"), "0500"))},
        {"first sub-identifier beyond 2.4294967295",
         Message("a0", Binding(Tlv("06", "9080808050"), "0500"))},
        {"identifier of 129 sub-identifiers",
         Message("a0", Binding(Tlv("06", "2b" + Repeat("01", 127)), "0500"))},
        {"NULL with content", Message("a0", Binding(kName, "050100"))},
        {"INTEGER without content", Message("a2", Binding(kName, "0200"))},
        {"INTEGER beyond 32 bits", Message("a2", Binding(kName, "02050100000000"))},
        {"Counter of five bytes without a leading zero",
         Message("a2", Binding(kName, "41050100000000"))},
        {"Counter64 of nine bytes without a leading zero",
         Message("a2", Binding(kName, "4609010000000000000000"))},
        {"Counter64 of ten bytes", Message("a2", Binding(kName, "460a00010000000000000000"))},
        {"endOfMibView with content", Message("a2", Binding(kName, "820100"))},
        {"value tag in more than one byte", Message("a2", Binding(kName, "5f810100"))},
        {"trap agent-addr of 3 bytes",
         Tlv("30", kHead + Tlv("a4", Tlv("06", "2b0601") + "40030a0102" + "020100020100430100" +
                                         "3000"))},
        {"trap time-stamp as an INTEGER",
         Tlv("30", kHead + Tlv("a4", Tlv("06", "2b0601") + "40040a010203" + "020100020100020100" +
                                         "3000"))},
        {"trap enterprise missing",
         Tlv("30", kHead + Tlv("a4", "40040a010203020100020100430100" + std::string("3000")))},
    };
    for (const Case& c : cases) {
        const Bytes bytes = FromHex(c.hex);
        SnmpMessage message;
        message.requestId = 7;
        EXPECT_FALSE(DecodeMessage(bytes.data(), bytes.size(), message)) << c.title;
        ExpectEmpty(message);
        EXPECT_EQ(message.requestId, 0) << c.title;
    }
}

TEST(Decoder, AcceptsWhatSloppyAgentsSendWhenTheMeaningIsClear)
{
    const std::vector<std::pair<Case, std::string>> cases = {
        {{"Counter 33000 without its leading zero", "410280e8"}, "Counter 33000"},
        {{"TimeTicks with the top bit set and no zero", "4304ffffffff"}, "TimeTicks 4294967295"},
        {{"Gauge with a redundant leading zero", "42020001"}, "Gauge 1"},
        {{"INTEGER with a redundant zero byte", "0203000005"}, "INTEGER 5"},
        {{"INTEGER with redundant sign bytes", "0206ffffffffffff"}, "INTEGER -1"},
        {{"Counter64", "460900ffffffffffffffff"}, "Counter64 18446744073709551615"},
        {{"Counter64 with the top bit set and no zero", "460180"}, "Counter64 128"},
        {{"noSuchInstance", "8100"}, "[81]"},
        {{"IpAddress of five bytes kept as it came", "40050a01020304"}, "[40] 0a01020304"},
        {{"SEQUENCE value kept as bytes", Nested(3)},
         "[30] 3004300205"
         "00"},
        {{"identifier under the arc 2", "06028837"}, "OID 2.999"},
        {{"largest identifier under the arc 2", "06059080808"
                                                "04f"},
         "OID 2.4294967295"},
        {{"largest sub-identifier", "06062b8fffffff7f"}, "OID 1.3.4294967295"},
        {{"sub-identifier with a padding byte", "06032b8001"}, "OID 1.3.1"},
    };
    for (const auto& [c, expected] : cases) {
        SnmpMessage m = MustDecode(FromHex(Message("a2", Binding(kName, c.hex))));
        ASSERT_EQ(m.bindings.count, 1u) << c.title;
        EXPECT_EQ(DescribeValue(m.bindings.bindings[0].value), expected) << c.title;
        FreeMessage(m);
    }

    // Lengths in more bytes than they need, at every level.
    const std::string binding = LongTlv("30", kName + "0500", 2);
    const std::string pdu = LongTlv("a0", kFields + LongTlv("30", binding, 4), 1);
    SnmpMessage m = MustDecode(FromHex(LongTlv("30", kHead + pdu, 3)));
    EXPECT_EQ(Describe(m.bindings), std::vector<std::string>{"1.3.6.1.2.1.1.1.0 = NULL"});
    FreeMessage(m);

    // The longest identifier the layer takes: 128 sub-identifiers.
    m = MustDecode(FromHex(Message("a2", Binding(Tlv("06", "2b" + Repeat("01", 126)), "0500"))));
    ASSERT_EQ(m.bindings.count, 1u);
    EXPECT_EQ(m.bindings.bindings[0].name.count, kMaxOidLength);
    FreeMessage(m);
}

// ---- Encoding ---------------------------------------------------------------

Bytes EncodeOne(const SnmpVarBind& binding, uint8_t pduType = PDU_SET)
{
    SnmpMessage message;
    message.community = "public";
    message.requestId = 1;
    message.pduType = pduType;
    message.bindings = SnmpVarBindList{const_cast<SnmpVarBind*>(&binding), 1};
    Bytes out;
    EXPECT_TRUE(EncodeMessage(message, out));
    return out;
}

TEST(Encoder, WritesMinimalNumbersAndOddTagsAsTheyStand)
{
    uint32_t ids[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    uint8_t bytes[] = {1, 2, 3};
    struct Row {
        AsnAny value;
        std::string hex;
    };
    auto integer = [](int32_t v) {
        AsnAny a{};
        a.tag = ASN_INTEGER;
        a.data.integer = v;
        return a;
    };
    auto unsig = [](uint8_t tag, uint32_t v) {
        AsnAny a{};
        a.tag = tag;
        a.data.unsigned32 = v;
        return a;
    };
    auto wide = [](uint64_t v) {
        AsnAny a{};
        a.tag = ASN_COUNTER64;
        a.data.counter64 = v;
        return a;
    };
    auto raw = [&](uint8_t tag, uint32_t n) {
        AsnAny a{};
        a.tag = tag;
        a.data.bytes = AsnOctetString{n == 0 ? nullptr : bytes, n, 0};
        return a;
    };
    const std::vector<Row> rows = {
        {integer(0), "020100"},
        {integer(127), "02017f"},
        {integer(128), "02020080"},
        {integer(-1), "0201ff"},
        {integer(-128), "020180"},
        {integer(-129), "0202ff7f"},
        {integer(INT32_MIN), "020480000000"},
        {integer(INT32_MAX), "02047fffffff"},
        {unsig(ASN_COUNTER, 0), "410100"},
        {unsig(ASN_COUNTER, 255), "410200ff"},
        {unsig(ASN_GAUGE, 0x7fffff), "42037fffff"},
        {unsig(ASN_TIMETICKS, 0xffffffff), "430500ffffffff"},
        {wide(0), "460100"},
        {wide(0x80), "46020080"},
        {wide(UINT64_MAX), "460900ffffffffffffffff"},
        {wide(0x0102030405060708), "46080102030405060708"},
        {unsig(ASN_NOSUCHOBJECT, 0), "8000"},
        {unsig(ASN_ENDOFMIBVIEW, 0), "8200"},
        {raw(0x9e, 3), "9e03010203"},
        {raw(ASN_OPAQUE, 3), "4403010203"},
    };
    for (const Row& row : rows) {
        const SnmpVarBind binding{{9, ids}, row.value};
        const Bytes out = EncodeOne(binding);
        const Bytes expected = FromHex(Message("a3", Binding(kName, row.hex)));
        EXPECT_EQ(out, expected) << row.hex << "\n" << FirstDifference(expected, out);
        SnmpMessage back = MustDecode(out);
        ASSERT_EQ(back.bindings.count, 1u);
        EXPECT_EQ(Describe(back.bindings.bindings[0]), Describe(binding));
        FreeMessage(back);
    }
}

TEST(Encoder, ShortIdentifiersGetATrailingZero)
{
    // A walk from "1" sends 1.0: the single byte 0x28 (X.690 section 8.19.4).
    uint32_t one = 1;
    const SnmpVarBind walk{{1, &one}, AsnAny{ASN_NULL, {}}};
    EXPECT_EQ(EncodeOne(walk, PDU_GETNEXT), FromHex(Message("a1", Binding("060128", "0500"))));
    const SnmpVarBind empty{{0, nullptr}, AsnAny{ASN_NULL, {}}};
    EXPECT_EQ(EncodeOne(empty, PDU_GETNEXT), FromHex(Message("a1", Binding("060100", "0500"))));
}

TEST(Encoder, RefusesWhatHasNoEncoding)
{
    uint32_t three[] = {3, 1};
    uint32_t forty[] = {1, 40};
    uint32_t fine[] = {1, 3};
    std::vector<uint32_t> long129(129, 1);
    const AsnAny null{ASN_NULL, {}};
    AsnAny lostBytes{};
    lostBytes.tag = ASN_OCTETSTRING;
    lostBytes.data.bytes = AsnOctetString{nullptr, 4, 0};
    AsnAny longTag{};
    longTag.tag = 0x5f;
    const std::vector<std::pair<const char*, SnmpVarBind>> cases = {
        {"first sub-identifier 3", {{2, three}, null}},
        {"1.40 would read back as 2.0", {{2, forty}, null}},
        {"129 sub-identifiers", {{129, long129.data()}, null}},
        {"sub-identifiers missing", {{4, nullptr}, null}},
        {"bytes missing behind a length", {{2, fine}, lostBytes}},
        {"tag announcing a longer tag", {{2, fine}, longTag}},
    };
    for (const auto& [title, binding] : cases) {
        SnmpMessage message;
        message.bindings = SnmpVarBindList{const_cast<SnmpVarBind*>(&binding), 1};
        Bytes out = {1, 2, 3};
        SetLastError(0);
        EXPECT_FALSE(EncodeMessage(message, out)) << title;
        EXPECT_EQ(GetLastError(), ERROR_BAD_ARGUMENT) << title;
        EXPECT_TRUE(out.empty()) << title;
    }
    SnmpMessage unknown;
    unknown.pduType = 0xA9;
    Bytes out;
    EXPECT_FALSE(EncodeMessage(unknown, out));
}

// ---- Random round trips -----------------------------------------------------

class Random {
public:
    explicit Random(uint32_t seed) : engine_(seed) {}
    uint32_t Below(uint32_t n)
    {
        return static_cast<uint32_t>(engine_() % n);
    }
    // Small, middling and 32-bit-wide numbers alike.
    uint32_t Wide()
    {
        return static_cast<uint32_t>(engine_()) >> Below(32);
    }

    AsnObjectIdentifier Oid()
    {
        const uint32_t count = Below(8) == 0 ? 2 + Below(kMaxOidLength - 1) : 2 + Below(12);
        auto* ids = static_cast<uint32_t*>(SnmpUtilMemAlloc(count * sizeof(uint32_t)));
        ids[0] = Below(3);
        ids[1] = ids[0] < 2 ? Below(40) : Wide();
        for (uint32_t i = 2; i < count; ++i) {
            ids[i] = Wide();
        }
        return AsnObjectIdentifier{count, ids};
    }

    AsnAny Value()
    {
        static const uint8_t kTags[] = {
            ASN_INTEGER,        ASN_OCTETSTRING,  ASN_NULL,      ASN_OBJECTIDENTIFIER,
            ASN_SEQUENCE,       ASN_IPADDRESS,    ASN_COUNTER,   ASN_GAUGE,
            ASN_TIMETICKS,      ASN_OPAQUE,       ASN_COUNTER64, ASN_NOSUCHOBJECT,
            ASN_NOSUCHINSTANCE, ASN_ENDOFMIBVIEW, 0x47,          0x9e};
        AsnAny value{};
        value.tag = kTags[Below(sizeof kTags)];
        switch (value.tag) {
        case ASN_INTEGER:
            value.data.integer = static_cast<int32_t>(Wide()) * (Below(2) == 0 ? 1 : -1);
            break;
        case ASN_COUNTER:
        case ASN_GAUGE:
        case ASN_TIMETICKS:
            value.data.unsigned32 = Wide();
            break;
        case ASN_COUNTER64:
            value.data.counter64 = (uint64_t{Wide()} << 32) | Wide();
            break;
        case ASN_NULL:
        case ASN_NOSUCHOBJECT:
        case ASN_NOSUCHINSTANCE:
        case ASN_ENDOFMIBVIEW:
            break;
        case ASN_OBJECTIDENTIFIER:
            value.data.object = Oid();
            break;
        default: {
            const uint32_t length = Below(4) == 0 ? Below(400) : Below(12);
            value.data.bytes = AsnOctetString{nullptr, length, 0};
            if (length > 0) {
                value.data.bytes.stream = static_cast<uint8_t*>(SnmpUtilMemAlloc(length));
                value.data.bytes.dynamic = 1;
                for (uint32_t i = 0; i < length; ++i) {
                    value.data.bytes.stream[i] = static_cast<uint8_t>(Below(256));
                }
            }
        }
        }
        return value;
    }

    SnmpMessage Message()
    {
        static const uint8_t kPdus[] = {PDU_GET,    PDU_GETNEXT, PDU_RESPONSE,
                                        PDU_SET,    PDU_TRAP_V1, PDU_GETBULK,
                                        PDU_INFORM, PDU_TRAP_V2, PDU_REPORT};
        SnmpMessage m;
        m.version = static_cast<int32_t>(Below(2));
        m.pduType = kPdus[Below(sizeof kPdus)];
        for (uint32_t n = Below(40); n > 0; --n) {
            m.community += static_cast<char>(Below(256));
        }
        m.requestId = static_cast<int32_t>(Wide());
        m.errorStatus = static_cast<int32_t>(Below(6));
        m.errorIndex = static_cast<int32_t>(Below(200));
        if (m.pduType == PDU_TRAP_V1) {
            m.enterprise = Oid();
            for (uint8_t& octet : m.agentAddress) {
                octet = static_cast<uint8_t>(Below(256));
            }
            m.genericTrap = static_cast<int32_t>(Below(7));
            m.specificTrap = static_cast<int32_t>(Wide());
            m.timeStamp = Wide();
        }
        const uint32_t count = Below(10) == 0 ? Below(200) : Below(6);
        if (count > 0) {
            m.bindings.bindings =
                static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(count * sizeof(SnmpVarBind)));
            m.bindings.count = count;
            for (uint32_t i = 0; i < count; ++i) {
                m.bindings.bindings[i] = SnmpVarBind{Oid(), Value()};
            }
        }
        return m;
    }

private:
    std::mt19937 engine_;
};

TEST(RoundTrip, RandomMessagesOfEveryTagSurviveEncodeAndDecode)
{
    Random random(20261206);
    Bytes first;
    Bytes second;
    for (int i = 0; i < 400; ++i) {
        SnmpMessage original = random.Message();
        ASSERT_TRUE(EncodeMessage(original, first));
        SnmpMessage decoded = MustDecode(first);
        EXPECT_EQ(Describe(decoded), Describe(original)) << "message " << i;
        ASSERT_TRUE(EncodeMessage(decoded, second));
        EXPECT_EQ(second, first) << FirstDifference(first, second);
        FreeMessage(decoded);
        FreeMessage(original);
    }
}

}  // namespace
