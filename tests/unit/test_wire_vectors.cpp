// Wire vectors: each captured exchange decodes to what its dissection (`what`)
// says, and a table of messages, expected failures included, pins the items a
// decoder must refuse: an item under another tag than the one its place
// requires, an identifier of more than 128 sub-identifiers.
#include <gtest/gtest.h>

#include <fstream>
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
    d.pduType = m.pduType;
    d.community = m.community;
    d.requestId = m.requestId;
    d.errorStatus = m.errorStatus;
    d.errorIndex = m.errorIndex;
    for (uint32_t i = 0; i < m.bindings.count; ++i) {
        const SnmpVarBind& binding = m.bindings.bindings[i];
        d.names.push_back(Dotted(binding.name));
        const AsnAny& value = binding.value;
        d.values.push_back(value.tag == ASN_OBJECTIDENTIFIER ? Dotted(value.data.object)
                           : value.tag == ASN_TIMETICKS || value.tag == ASN_COUNTER
                               ? std::to_string(value.data.unsigned32)
                               : "");
    }
    d.enterprise = Dotted(m.enterprise);
    for (uint8_t byte : m.agentAddress) {
        d.agentAddress += (d.agentAddress.empty() ? "" : ".") + std::to_string(byte);
    }
    d.genericTrap = m.genericTrap;
    d.specificTrap = m.specificTrap;
    d.timeStamp = m.timeStamp;
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

struct Row {
    bool refused;
    const char* title;
    std::string hex;
};

TEST(Refusals, ItemsUnderAnotherTagAndOverlongNamesAreRefused)
{
    const std::string sysDescr = "06082b06010201010100";
    const std::string coldStart = "302a02010004067075626c6963a41d06092b06010401bf08020340040a01020302"
                                  "0100020100430270a53000";
    auto bent = [&](const std::string& from, const std::string& to) {
        std::string hex = coldStart;
        return hex.replace(hex.find(from), from.size(), to);
    };
    const Row rows[] = {
        {false, "a well-formed response", Response(sysDescr, "0500")},
        {true, "version as a Counter",
         "302641010004067075626c6963a219020101020100020100300e300c06082b060102010101000500"},
        {true, "community as an identifier",
         "302602010006067075626c6963a219020101020100020100300e300c06082b060102010101000500"},
        {true, "request ID as a Counter",
         "302602010004067075626c6963a219410101020100020100300e300c06082b060102010101000500"},
        {true, "error status as a Counter",
         "302602010004067075626c6963a219020101410100020100300e300c06082b060102010101000500"},
        {true, "error index as a string",
         "302602010004067075626c6963a219020101020100040100300e300c06082b060102010101000500"},
        {true, "binding list as a SET",
         "302602010004067075626c6963a219020101020100020100310e300c06082b060102010101000500"},
        {true, "binding as a SET",
         "302602010004067075626c6963a219020101020100020100300e310c06082b060102010101000500"},
        {true, "a string as a name",
         "302602010004067075626c6963a219020101020100020100300e300c04082b060102010101000500"},
        {false, "a name of 128 sub-identifiers", Response(LongName(128), "0500")},
        {true, "a name of 129 sub-identifiers", Response(LongName(129), "0500")},
        {false, "an identifier value of 128 sub-identifiers", Response(sysDescr, LongName(128))},
        {true, "an identifier value of 129 sub-identifiers", Response(sysDescr, LongName(129))},
        {false, "a v1 trap", coldStart},
        {true, "trap enterprise as a string", bent("06092b", "04092b")},
        {true, "trap agent address as a string", bent("40040a", "04040a")},
        {true, "trap generic number as a Counter", bent("0201000201004302", "4101000201004302")},
        {true, "trap time-stamp as an INTEGER", bent("430270a5", "020270a5")},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Dissect(FromHex(row.hex)).decoded, !row.refused) << row.title << ": " << row.hex;
    }
}

}  // namespace
