// The value syntax of set triples. Each value either parses in full or is
// refused before any storage is taken, so a refused value never needs freeing.
#include "set_values.h"

#include <cstring>

#include "tool.h"

namespace {

constexpr char kQuote = '"';
constexpr char kDot = '.';
constexpr uint32_t kBinaryOctetStringLength = 4;
constexpr uint32_t kIpAddressLength = 4;
constexpr uint32_t kIpAddressDots = kIpAddressLength - 1;

// Tags of the type numbers; index 0 stands for every number outside 1 to 9.
constexpr uint8_t kSetTypeTags[] = {
    0,           ASN_INTEGER, ASN_OCTETSTRING, ASN_OBJECTIDENTIFIER, ASN_IPADDRESS,
    ASN_COUNTER, ASN_GAUGE,   ASN_TIMETICKS,   ASN_OPAQUE,           ASN_COUNTER64,
};
constexpr uint32_t kSetTypeCount = sizeof(kSetTypeTags) / sizeof(kSetTypeTags[0]);

uint32_t CountDots(const char* text)
{
    uint32_t dots = 0;
    for (; *text != '\0'; ++text) {
        if (*text == kDot) {
            ++dots;
        }
    }
    return dots;
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Hexadecimal digits up to the first other character, modulo 2^32: of more
// than eight digits the last eight count.
uint32_t ParseHex(const char* text)
{
    uint32_t number = 0;
    for (int digit = HexDigitValue(*text); digit >= 0; digit = HexDigitValue(*++text)) {
        number = (number << 4) | static_cast<uint32_t>(digit);
    }
    return number;
}

// A byte-string value that owns its bytes (`dynamic`), so that freeing the
// list frees them.
SetValueResult MakeBytes(uint8_t tag, const uint8_t* bytes, size_t length, AsnAny* value)
{
    if (length > UINT32_MAX) {
        return SetValueResult::Rejected;
    }
    auto* stream = static_cast<uint8_t*>(SnmpUtilMemAlloc(length));
    if (stream == nullptr) {
        return SetValueResult::NoMemory;
    }
    memcpy(stream, bytes, length);
    value->tag = tag;
    value->data.bytes.stream = stream;
    value->data.bytes.length = static_cast<uint32_t>(length);
    value->data.bytes.dynamic = 1;
    return SetValueResult::Parsed;
}

// OCTET STRING: an optional leading quote is dropped; "0x" then gives a 32-bit
// number stored least significant byte first (the order in which the printer
// reads the Binary Value back); otherwise the text, with an optional closing
// quote dropped. The quotes come from command files, which keep them.
SetValueResult ParseOctetString(uint8_t tag, const char* text, AsnAny* value)
{
    if (*text == kQuote) {
        ++text;
    }
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const uint32_t number = ParseHex(text + 2);
        const uint8_t bytes[kBinaryOctetStringLength] = {
            static_cast<uint8_t>(number),
            static_cast<uint8_t>(number >> 8),
            static_cast<uint8_t>(number >> 16),
            static_cast<uint8_t>(number >> 24),
        };
        return MakeBytes(tag, bytes, sizeof(bytes), value);
    }
    size_t length = strlen(text);
    if (length > 0 && text[length - 1] == kQuote) {
        --length;
    }
    if (length == 0) {
        return SetValueResult::Rejected;
    }
    return MakeBytes(tag, reinterpret_cast<const uint8_t*>(text), length, value);
}

// OBJECT IDENTIFIER: dotted numbers only (names are not looked up); an empty
// or non-numeric component reads as 0.
SetValueResult ParseObjectIdentifier(uint8_t tag, const char* text, AsnAny* value)
{
    if (*text == kDot) {
        ++text;
    }
    const uint32_t count = CountDots(text) + 1;
    auto* ids = static_cast<uint32_t*>(SnmpUtilMemAlloc(sizeof(uint32_t) * count));
    if (ids == nullptr) {
        return SetValueResult::NoMemory;
    }
    const char* component = text;
    for (uint32_t i = 0; i < count; ++i) {
        ids[i] = ParseDecimal(component);
        const char* dot = strchr(component, kDot);
        component = dot != nullptr ? dot + 1 : component;
    }
    value->tag = tag;
    value->data.object.count = count;
    value->data.object.ids = ids;
    return SetValueResult::Parsed;
}

// IpAddress: exactly four dotted numbers, each kept to its low 8 bits;
// characters after a number other than '.' are ignored.
SetValueResult ParseIpAddress(uint8_t tag, const char* text, AsnAny* value)
{
    if (CountDots(text) != kIpAddressDots) {
        return SetValueResult::Rejected;
    }
    uint8_t bytes[kIpAddressLength];
    const char* part = text;
    for (uint32_t i = 0; i < kIpAddressLength; ++i) {
        bytes[i] = static_cast<uint8_t>(ParseDecimal(part));
        const char* dot = strchr(part, kDot);
        part = dot != nullptr ? dot + 1 : part;
    }
    return MakeBytes(tag, bytes, sizeof(bytes), value);
}

}  // namespace

SetValueResult ParseSetValue(uint32_t typeNumber, const char* text, AsnAny* value)
{
    value->tag = ASN_NULL;
    memset(&value->data, 0, sizeof(value->data));
    if (typeNumber == 0 || typeNumber >= kSetTypeCount || text == nullptr) {
        return SetValueResult::Rejected;
    }
    const uint8_t tag = kSetTypeTags[typeNumber];
    switch (typeNumber) {
    case SET_TYPE_INTEGER:
        value->tag = tag;
        value->data.integer = static_cast<int32_t>(ParseDecimal(text));
        return SetValueResult::Parsed;
    case SET_TYPE_COUNTER:
    case SET_TYPE_GAUGE:
    case SET_TYPE_TIMETICKS:
        value->tag = tag;
        value->data.unsigned32 = ParseDecimal(text);
        return SetValueResult::Parsed;
    case SET_TYPE_COUNTER64:
        // An SNMPv1 message cannot carry a Counter64.
        if (g_settings.version != SNMP_VERSION_2C) {
            return SetValueResult::Rejected;
        }
        value->tag = tag;
        value->data.counter64 = ParseDecimal64(text);
        return SetValueResult::Parsed;
    case SET_TYPE_OCTETSTRING:
        return ParseOctetString(tag, text, value);
    case SET_TYPE_OBJECTIDENTIFIER:
        return ParseObjectIdentifier(tag, text, value);
    case SET_TYPE_IPADDRESS:
        return ParseIpAddress(tag, text, value);
    case SET_TYPE_OPAQUE:
        // The word as it stands, quotes included.
        if (*text == '\0') {
            return SetValueResult::Rejected;
        }
        return MakeBytes(tag, reinterpret_cast<const uint8_t*>(text), strlen(text), value);
    default:
        return SetValueResult::Rejected;
    }
}
