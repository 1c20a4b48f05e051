// The codec: every captured datagram decodes, encodes back to its own bytes and
// is refused when cut at any length; one table of values in hex says what each
// reads as (and whether it is written back the same), or that it is refused.
#include <gtest/gtest.h>

#include <filesystem>
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

std::string ToHex(const uint8_t* data, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < size; ++i) {
        hex += {digits[data[i] >> 4], digits[data[i] & 15]};
    }
    return hex;
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
    case ASN_OBJECTIDENTIFIER: {
        std::string text = "OID";
        for (uint32_t i = 0; i < value.data.object.count; ++i) {
            text += (i == 0 ? " " : ".") + std::to_string(value.data.object.ids[i]);
        }
        return text;
    }
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
    // The outer length written otherwise: more bytes than needed are read, an
    // indefinite, reserved, overflowing or too long one is not, nor a trailing byte.
    const std::string good = Message(Tlv("30", kName + "0500"));
    const std::string length = good.substr(2, 2), content = good.substr(4);
    const std::pair<std::string, bool> rows[] = {
        {"308200" + length + content, true}, {"3080" + content + "0000", false},
        {"30ff" + content, false},           {"3089ffffffffffffffffff" + content, false},
        {"3029" + content, false},           {good + "00", false},
    };
    for (const auto& [hex, read] : rows) {
        SnmpMessage m;
        const Bytes b = FromHex(hex);
        EXPECT_EQ(DecodeMessage(b.data(), b.size(), m), read) << hex;
        FreeMessage(m);
    }
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

}  // namespace
