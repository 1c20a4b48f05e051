// The value syntax of set triples. Each value either parses in full or is
// refused before any storage is taken, so a refused value never needs freeing.
// A value is refused rather than read as something else: a mistyped word must
// never reach a device as another value.
#include "set_values.h"

#include <cstring>

#include "tool.h"

namespace {

constexpr char kQuote = '"';
constexpr char kDot = '.';
constexpr uint32_t kBinaryOctetStringLength = 4;
constexpr uint32_t kIpAddressLength = 4;

// Tags of the type numbers; index 0 stands for every number outside 1 to 9.
constexpr uint8_t kSetTypeTags[] = {
    0,           ASN_INTEGER, ASN_OCTETSTRING, ASN_OBJECTIDENTIFIER, ASN_IPADDRESS,
    ASN_COUNTER, ASN_GAUGE,   ASN_TIMETICKS,   ASN_OPAQUE,           ASN_COUNTER64,
};
constexpr uint32_t kSetTypeCount = sizeof(kSetTypeTags) / sizeof(kSetTypeTags[0]);

// Names of the type numbers, as the usage text lists them.
constexpr const char* kSetTypeNames[] = {
    "",      "INTEGER",   "OCTET STRING", "OBJECT IDENTIFIER", "IpAddress", "Counter",
    "Gauge", "TimeTicks", "Opaque", "Counter64",
};
static_assert(sizeof(kSetTypeNames) / sizeof(kSetTypeNames[0]) == kSetTypeCount);

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Decimal digits from *text on, at least one, up to `limit`; *text is left
// after them. False when there is no digit or the number exceeds the limit.
bool ReadDigits(const char** text, uint64_t limit, uint64_t* number)
{
    const char* p = *text;
    uint64_t value = 0;
    for (; IsDigit(*p); ++p) {
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > limit) {
            return false;
        }
    }
    if (p == *text) {
        return false;
    }
    *text = p;
    *number = value;
    return true;
}

// A numeric value word: the number rule's leading white space and sign, then
// digits and nothing after them. Whatever fits 32 bits, signed or unsigned,
// keeps the rule's 32-bit pattern (-1 is 4294967295); anything larger would
// reach the agent as another number, so it is refused.
bool ReadSetNumber(const char* text, uint32_t* number)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '+' || *text == '-') {
        ++text;
    }
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t{1} << 31 : UINT32_MAX;
    if (!ReadDigits(&text, limit, &magnitude) || *text != '\0') {
        return false;
    }
    const auto low = static_cast<uint32_t>(magnitude);
    *number = negative ? 0u - low : low;
    return true;
}

// A Counter64 value word: optional leading white space and '+', then digits
// that fit 64 bits and nothing after them.
bool ReadSetNumber64(const char* text, uint64_t* number)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) {
        ++text;
    }
    if (*text == '+') {
        ++text;
    }
    if (!IsDigit(*text)) {
        return false;
    }
    uint64_t value = 0;
    for (; IsDigit(*text); ++text) {
        const auto digit = static_cast<uint64_t>(*text - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return false;
        }
        value = value * 10 + digit;
    }
    if (*text != '\0') {
        return false;
    }
    *number = value;
    return true;
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

// One to eight hexadecimal digits, then nothing but an optional closing
// quote: more digits or other characters would be lost on the way to the
// agent, so they are refused.
bool ReadHex(const char* text, uint32_t* number)
{
    constexpr int kMaxHexDigits = 8;
    uint32_t value = 0;
    int digits = 0;
    for (int digit = HexDigitValue(*text); digit >= 0; digit = HexDigitValue(*++text)) {
        if (++digits > kMaxHexDigits) {
            return false;
        }
        value = (value << 4) | static_cast<uint32_t>(digit);
    }
    if (*text == kQuote) {
        ++text;
    }
    if (digits == 0 || *text != '\0') {
        return false;
    }
    *number = value;
    return true;
}

// A byte-string value that owns its bytes (`dynamic`), so that freeing the
// list frees them.
SetValueResult MakeBytes(uint8_t tag, const uint8_t* bytes, size_t length, AsnAny* value)
{
    if (length > UINT32_MAX) {
        return SetValueResult::BadValue;
    }
    // An empty value owns no storage; the allocator gives none for 0 bytes.
    if (length == 0) {
        value->tag = tag;
        return SetValueResult::Parsed;
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
// quote dropped. The quotes come from command files, which keep them. An
// empty text is an empty string, which is how a contact or location is cleared.
SetValueResult ParseOctetString(uint8_t tag, const char* text, AsnAny* value)
{
    if (*text == kQuote) {
        ++text;
    }
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        uint32_t number = 0;
        if (!ReadHex(text + 2, &number)) {
            return SetValueResult::BadValue;
        }
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
    return MakeBytes(tag, reinterpret_cast<const uint8_t*>(text), length, value);
}

// OBJECT IDENTIFIER: read like every identifier word, so a name works and an
// empty or non-numeric component is refused instead of becoming 0.
SetValueResult ParseObjectIdentifier(uint8_t tag, const char* text, AsnAny* value)
{
    SetLastError(0);
    AsnObjectIdentifier oid = {0, nullptr};
    if (SnmpMgrStrToOid(text, &oid) == 0) {
        return GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? SetValueResult::NoMemory
                                                         : SetValueResult::BadValue;
    }
    value->tag = tag;
    value->data.object = oid;
    return SetValueResult::Parsed;
}

// IpAddress: exactly four dotted decimal numbers of 0 to 255, nothing else.
SetValueResult ParseIpAddress(uint8_t tag, const char* text, AsnAny* value)
{
    constexpr uint64_t kMaxByte = 255;
    uint8_t bytes[kIpAddressLength];
    for (uint32_t i = 0; i < kIpAddressLength; ++i) {
        uint64_t number = 0;
        if (!ReadDigits(&text, kMaxByte, &number)) {
            return SetValueResult::BadValue;
        }
        bytes[i] = static_cast<uint8_t>(number);
        const char expected = i + 1 < kIpAddressLength ? kDot : '\0';
        if (*text != expected) {
            return SetValueResult::BadValue;
        }
        ++text;
    }
    return MakeBytes(tag, bytes, sizeof(bytes), value);
}

}  // namespace

SetValueResult ParseSetValue(uint32_t typeNumber, const char* text, AsnAny* value)
{
    value->tag = ASN_NULL;
    memset(&value->data, 0, sizeof(value->data));
    if (typeNumber == 0 || typeNumber >= kSetTypeCount || text == nullptr) {
        return SetValueResult::BadType;
    }
    const uint8_t tag = kSetTypeTags[typeNumber];
    uint32_t number = 0;
    switch (typeNumber) {
    case SET_TYPE_INTEGER:
    case SET_TYPE_COUNTER:
    case SET_TYPE_GAUGE:
    case SET_TYPE_TIMETICKS:
        if (!ReadSetNumber(text, &number)) {
            return SetValueResult::BadValue;
        }
        value->tag = tag;
        // INTEGER reads the pattern as signed, the others as unsigned.
        if (typeNumber == SET_TYPE_INTEGER) {
            value->data.integer = static_cast<int32_t>(number);
        } else {
            value->data.unsigned32 = number;
        }
        return SetValueResult::Parsed;
    case SET_TYPE_COUNTER64:
        // Not every version's messages can carry a Counter64 (SNMPv1's cannot).
        if (!RequestCapabilities().counter64) {
            return SetValueResult::BadType;
        }
        if (!ReadSetNumber64(text, &value->data.counter64)) {
            return SetValueResult::BadValue;
        }
        value->tag = tag;
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
            return SetValueResult::BadValue;
        }
        return MakeBytes(tag, reinterpret_cast<const uint8_t*>(text), strlen(text), value);
    default:
        return SetValueResult::BadType;
    }
}

const char* SetTypeName(uint32_t typeNumber)
{
    return typeNumber < kSetTypeCount ? kSetTypeNames[typeNumber] : "";
}
