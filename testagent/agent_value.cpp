#include "agent_value.h"

#include <charconv>
#include <cstring>

namespace {

// The whole text as one decimal number that fits `Number`.
template <typename Number> bool ParseWhole(const std::string& text, Number& out)
{
    if (text.empty()) {
        return false;
    }
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out, 10);
    return ec == std::errc() && ptr == end;
}

}  // namespace

bool ParseDecimal(const std::string& text, uint64_t limit, uint64_t& out)
{
    return ParseWhole(text, out) && out <= limit;
}

namespace {

int HexDigit(char c)
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

// Hex bytes, blanks between them allowed anywhere between whole bytes.
bool ParseHex(const std::string& text, std::vector<uint8_t>& out)
{
    out.clear();
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\t' || text[i] == ':') {
            ++i;
            continue;
        }
        if (i + 1 >= text.size()) {
            return false;
        }
        int high = HexDigit(text[i]);
        int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        out.push_back(static_cast<uint8_t>(high * 16 + low));
        i += 2;
    }
    return true;
}

// The text as is, with \xHH giving any byte and \\ a backslash.
bool ParseEscapedString(const std::string& text, std::vector<uint8_t>& out)
{
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out.push_back(static_cast<uint8_t>(text[i]));
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\\') {
            out.push_back('\\');
            ++i;
            continue;
        }
        if (i + 3 < text.size() && text[i + 1] == 'x' && HexDigit(text[i + 2]) >= 0 &&
            HexDigit(text[i + 3]) >= 0) {
            out.push_back(static_cast<uint8_t>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3])));
            i += 3;
            continue;
        }
        return false;
    }
    return true;
}

// Numbers between dots, each at most `limit`, at most `most` of them.
bool ParseDotted(const std::string& text, uint64_t limit, size_t most,
                 std::vector<uint64_t>& numbers)
{
    numbers.clear();
    size_t start = 0;
    while (true) {
        size_t dot = text.find('.', start);
        std::string part =
            text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        uint64_t number = 0;
        if (!ParseDecimal(part, limit, number) || numbers.size() == most) {
            return false;
        }
        numbers.push_back(number);
        if (dot == std::string::npos) {
            return true;
        }
        start = dot + 1;
    }
}

bool ParseIpAddress(const std::string& text, std::vector<uint8_t>& out)
{
    std::vector<uint64_t> numbers;
    if (!ParseDotted(text, 255, 4, numbers) || numbers.size() != 4) {
        return false;
    }
    out.assign(numbers.begin(), numbers.end());
    return true;
}

}  // namespace

bool ParseOid(const std::string& text, Oid& oid)
{
    std::vector<uint64_t> numbers;
    const size_t start = (!text.empty() && text[0] == '.') ? 1 : 0;
    if (!ParseDotted(text.substr(start), UINT32_MAX, kMaxOidLength, numbers) ||
        numbers.size() < 2) {
        return false;
    }
    oid.assign(numbers.begin(), numbers.end());
    return true;
}

std::string OidToText(const Oid& oid)
{
    std::string text;
    for (size_t i = 0; i < oid.size(); ++i) {
        if (i > 0) {
            text += '.';
        }
        text += std::to_string(oid[i]);
    }
    return text;
}

int CompareOids(const Oid& a, const Oid& b)
{
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

bool ParseValue(const std::string& type, const std::string& text, AgentValue& value,
                std::string& why)
{
    value = AgentValue();
    uint64_t number = 0;
    bool ok = false;
    if (type == "integer") {
        value.tag = ASN_INTEGER;
        ok = ParseWhole(text, value.integer);
    } else if (type == "string") {
        value.tag = ASN_OCTETSTRING;
        ok = ParseEscapedString(text, value.bytes);
    } else if (type == "hex") {
        value.tag = ASN_OCTETSTRING;
        ok = ParseHex(text, value.bytes);
    } else if (type == "null") {
        value.tag = ASN_NULL;
        ok = text.empty();
    } else if (type == "oid") {
        value.tag = ASN_OBJECTIDENTIFIER;
        ok = ParseOid(text, value.object);
    } else if (type == "ipaddress") {
        value.tag = ASN_IPADDRESS;
        ok = ParseIpAddress(text, value.bytes);
    } else if (type == "counter" || type == "gauge" || type == "timeticks") {
        value.tag = type == "counter" ? ASN_COUNTER : (type == "gauge" ? ASN_GAUGE : ASN_TIMETICKS);
        ok = ParseDecimal(text, UINT32_MAX, number);
        value.unsigned32 = static_cast<uint32_t>(number);
    } else if (type == "opaque" || type == "sequence") {
        value.tag = type == "opaque" ? ASN_OPAQUE : ASN_SEQUENCE;
        ok = ParseHex(text, value.bytes);
    } else if (type == "counter64") {
        value.tag = ASN_COUNTER64;
        ok = ParseDecimal(text, UINT64_MAX, number);
        value.counter64 = number;
    } else if (type.rfind("raw:", 0) == 0) {
        std::vector<uint8_t> tag;
        ok = ParseHex(type.substr(4), tag) && tag.size() == 1 && ParseHex(text, value.bytes);
        value.tag = ok ? tag[0] : 0;
        value.raw = true;
    } else {
        why = "unknown type '" + type + "'";
        return false;
    }
    if (!ok) {
        why = "bad " + type + " value '" + text + "'";
    }
    return ok;
}

AsnAny ValueView(const AgentValue& value)
{
    AsnAny any;
    std::memset(&any, 0, sizeof any);
    any.tag = value.tag;
    if (value.raw || AsnTagHoldsBytes(value.tag)) {
        if (!AsnTagHoldsBytes(value.tag)) {
            any.tag = ASN_OCTETSTRING;
        }
        any.data.bytes.stream = const_cast<uint8_t*>(value.bytes.data());
        any.data.bytes.length = static_cast<uint32_t>(value.bytes.size());
        any.data.bytes.dynamic = 0;
        return any;
    }
    switch (value.tag) {
    case ASN_INTEGER:
        any.data.integer = value.integer;
        break;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
        any.data.unsigned32 = value.unsigned32;
        break;
    case ASN_COUNTER64:
        any.data.counter64 = value.counter64;
        break;
    case ASN_OBJECTIDENTIFIER:
        any.data.object.count = static_cast<uint32_t>(value.object.size());
        any.data.object.ids = const_cast<uint32_t*>(value.object.data());
        break;
    default:
        break;
    }
    return any;
}

bool NeedsTagPatch(const AgentValue& value)
{
    return value.raw && !AsnTagHoldsBytes(value.tag);
}

AgentValue ValueFromAsn(const AsnAny& any)
{
    AgentValue value;
    value.tag = any.tag;
    if (AsnTagHoldsBytes(any.tag)) {
        const uint8_t* data = any.data.bytes.stream;
        value.bytes.assign(data, data + any.data.bytes.length);
        return value;
    }
    switch (any.tag) {
    case ASN_INTEGER:
        value.integer = any.data.integer;
        break;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
        value.unsigned32 = any.data.unsigned32;
        break;
    case ASN_COUNTER64:
        value.counter64 = any.data.counter64;
        break;
    case ASN_OBJECTIDENTIFIER:
        value.object.assign(any.data.object.ids, any.data.object.ids + any.data.object.count);
        break;
    default:
        break;
    }
    return value;
}

std::string HexBytes(const uint8_t* data, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    return text.empty() ? "-" : text;
}
