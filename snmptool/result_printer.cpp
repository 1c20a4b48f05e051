// The result printer: error status and index of a response, every variable
// binding in the labelled layout (colon in the fourteenth column), values as
// text, and identifiers in dotted decimal. Everything goes to standard output
// through stdio, which buffers it fully when standard output is not a terminal.
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "json_printer.h"
#include "name_tables.h"
#include "terminal_safety.h"
#include "tool.h"

namespace {

// A length field with every bit set carries no length; its line is left out.
constexpr uint32_t kNoLength = 0xFFFFFFFF;
// Room for a 64-bit number in decimal with its sign and the terminator.
constexpr size_t kNumberTextSize = 33;
// One sub-identifier in a dotted text: the separator and at most ten digits.
constexpr size_t kDottedIdSize = 11;
// One byte of an IpAddress in a dotted text: the separator and at most three digits.
constexpr size_t kDottedByteSize = 4;
// The Binary Value line reads at most this many bytes, lowest first.
constexpr uint32_t kBinaryValueBytes = 4;

// What the Length line of a value shows.
enum class LengthLine : uint8_t {
    None,   // no Length line
    Bytes,  // the byte length
    Count,  // the number of sub-identifiers
    Zero,   // a tag this printer does not know: 0
};

struct TypeInfo {
    const char* name;
    LengthLine length;
};

constexpr std::array<TypeInfo, 256> MakeTypeTable()
{
    std::array<TypeInfo, 256> table{};
    for (TypeInfo& entry : table) {
        entry = {"Unknown", LengthLine::Zero};
    }
    table[ASN_INTEGER] = {"INTEGER", LengthLine::None};
    table[ASN_OCTETSTRING] = {"OCTET STRING", LengthLine::Bytes};
    table[ASN_NULL] = {"NULL", LengthLine::None};
    table[ASN_OBJECTIDENTIFIER] = {"OBJECT IDENTIFIER", LengthLine::Count};
    table[ASN_SEQUENCE] = {"SEQUENCE", LengthLine::Bytes};
    table[ASN_IPADDRESS] = {"IpAddress", LengthLine::Bytes};
    table[ASN_COUNTER] = {"Counter", LengthLine::None};
    table[ASN_GAUGE] = {"Gauge", LengthLine::None};
    table[ASN_TIMETICKS] = {"TimeTicks", LengthLine::None};
    table[ASN_OPAQUE] = {"Opaque", LengthLine::Bytes};
    return table;
}

// What SNMPv2 adds (RFC 3416 section 3): Counter64 and the three exceptions.
constexpr std::array<TypeInfo, 256> MakeV2TypeTable()
{
    std::array<TypeInfo, 256> table = MakeTypeTable();
    table[ASN_COUNTER64] = {"Counter64", LengthLine::None};
    table[ASN_NOSUCHOBJECT] = {"noSuchObject", LengthLine::None};
    table[ASN_NOSUCHINSTANCE] = {"noSuchInstance", LengthLine::None};
    table[ASN_ENDOFMIBVIEW] = {"endOfMibView", LengthLine::None};
    return table;
}

constexpr std::array<TypeInfo, 256> kTypes = MakeTypeTable();
constexpr std::array<TypeInfo, 256> kV2Types = MakeV2TypeTable();

const TypeInfo& TypeOf(uint8_t tag, const MessageCapabilities& can)
{
    return can.exceptions ? kV2Types[tag] : kTypes[tag];
}

// Appends `number` in decimal, after a '.' unless it is the first; the caller
// guarantees kDottedIdSize bytes of room.
char* AppendDotted(char* out, uint32_t number, bool first)
{
    if (!first) {
        *out++ = '.';
    }
    return std::to_chars(out, out + kDottedIdSize, number).ptr;
}

// Writes the sub-identifiers joined by '.', through a stack buffer, so that an
// identifier of any length is printed whole and costs no allocation.
void WriteDottedIds(const AsnObjectIdentifier& oid)
{
    if (oid.ids == nullptr) {
        return;
    }
    char buffer[512];
    size_t used = 0;
    for (uint32_t i = 0; i < oid.count; ++i) {
        if (sizeof buffer - used < kDottedIdSize) {
            fwrite(buffer, 1, used, stdout);
            used = 0;
        }
        used = static_cast<size_t>(AppendDotted(buffer + used, oid.ids[i], i == 0) - buffer);
    }
    fwrite(buffer, 1, used, stdout);
}

char* AllocText(size_t size)
{
    return static_cast<char*>(SnmpUtilMemAlloc(size));
}

char* SignedText(int32_t number)
{
    char* text = AllocText(kNumberTextSize);
    if (text != nullptr) {
        std::to_chars(text, text + kNumberTextSize - 1, number);
    }
    return text;
}

char* UnsignedText(uint64_t number)
{
    char* text = AllocText(kNumberTextSize);
    if (text != nullptr) {
        std::to_chars(text, text + kNumberTextSize - 1, number);
    }
    return text;
}

// The bytes up to the first zero byte, at most `length` of them. An empty value
// gives an empty text, or none when `emptyHasText` is false.
char* BytesText(const AsnOctetString& bytes, bool emptyHasText)
{
    if (bytes.length == 0 && !emptyHasText) {
        return nullptr;
    }
    size_t used = 0;
    if (bytes.length != 0 && bytes.stream != nullptr) {
        const void* zero = memchr(bytes.stream, 0, bytes.length);
        used = zero != nullptr
                   ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - bytes.stream)
                   : bytes.length;
    }
    char* text = AllocText(used + 1);
    if (text != nullptr && used != 0) {
        memcpy(text, bytes.stream, used);
    }
    return text;
}

// The numbers joined by '.', as a new text; `room` bytes per number hold its
// separator and digits. None for an empty sequence.
template <typename Number> char* DottedText(const Number* numbers, uint32_t count, size_t room)
{
    if (count == 0 || numbers == nullptr) {
        return nullptr;
    }
    char* text = AllocText(static_cast<size_t>(count) * room);
    if (text == nullptr) {
        return nullptr;
    }
    char* end = text;
    for (uint32_t i = 0; i < count; ++i) {
        end = AppendDotted(end, numbers[i], i == 0);
    }
    return text;
}

void PrintLength(const AsnAny& value, const MessageCapabilities& can)
{
    uint32_t length = 0;
    switch (TypeOf(value.tag, can).length) {
    case LengthLine::None:
        return;
    case LengthLine::Bytes:
        length = value.data.bytes.length;
        break;
    case LengthLine::Count:
        length = value.data.object.count;
        break;
    case LengthLine::Zero:
        break;
    }
    if (length == kNoLength) {
        return;
    }
    printf("       Length: %u\n", length);
}

// The first four bytes of an OCTET STRING as a little-endian number; bytes that
// a shorter value lacks count as zero.
uint32_t BinaryValue(const AsnOctetString& bytes)
{
    uint32_t number = 0;
    if (bytes.stream == nullptr) {
        return number;
    }
    const uint32_t available = bytes.length < kBinaryValueBytes ? bytes.length : kBinaryValueBytes;
    for (uint32_t i = 0; i < available; ++i) {
        number |= static_cast<uint32_t>(bytes.stream[i]) << (8 * i);
    }
    return number;
}

char* ValueToText(const AsnAny* value, const MessageCapabilities& can)
{
    if (value == nullptr) {
        return nullptr;
    }
    switch (value->tag) {
    case ASN_INTEGER:
        return SignedText(value->data.integer);
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
        return UnsignedText(value->data.unsigned32);
    case ASN_COUNTER64:
        // Version 1 has no Counter64: there the tag stays an unknown one.
        return can.counter64 ? UnsignedText(value->data.counter64) : nullptr;
    case ASN_OCTETSTRING:
    case ASN_SEQUENCE:
        return BytesText(value->data.bytes, true);
    case ASN_OPAQUE:
        return BytesText(value->data.bytes, false);
    case ASN_IPADDRESS:
        return DottedText(value->data.bytes.stream, value->data.bytes.length, kDottedByteSize);
    case ASN_OBJECTIDENTIFIER:
        return DottedText(value->data.object.ids, value->data.object.count, kDottedIdSize);
    default:
        return nullptr;
    }
}

void PrintValue(const AsnAny& value, bool maskControls, const MessageCapabilities& can)
{
    fputs("        Value: ", stdout);
    char* text = ValueToText(&value, can);
    if (text == nullptr) {
        fputs("<No Data>\n", stdout);
        return;
    }
    size_t length = strlen(text);
    if (maskControls) {
        length = MaskControlBytes(text, length);
    }
    fwrite(text, 1, length, stdout);
    fputs(" \n", stdout);
    SnmpUtilMemFree(text);
    if (value.tag == ASN_OCTETSTRING) {
        printf(" Binary Value: 0x%X\n", BinaryValue(value.data.bytes));
    }
}

// Every byte as two upper-case hex digits, blank-separated: the Value line
// stops at a zero byte and the Binary Value reads four, which leaves MAC
// addresses and other binary strings unreadable.
void PrintHexBytes(const AsnOctetString& bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    fputs("    Hex Value: ", stdout);
    for (uint32_t i = 0; bytes.stream != nullptr && i < bytes.length; ++i) {
        const char text[] = {kDigits[bytes.stream[i] >> 4], kDigits[bytes.stream[i] & 0xF], ' '};
        // No blank after the last byte.
        fwrite(text, 1, i + 1 < bytes.length ? sizeof text : sizeof text - 1, stdout);
    }
    fputc('\n', stdout);
}

void PrintVarBind(const SnmpVarBind& binding, uint32_t number, bool maskControls,
                  const MessageCapabilities& can)
{
    if (g_toolMode != TOOL_MODE_WALK) {
        printf("    varbind %u: \n", number);
    }
    char* name = nullptr;
    SnmpMgrOidToStr(&binding.name, &name);
    if (name != nullptr) {
        printf("         Name: %s \n", name);
        SnmpUtilMemFree(name);
    }
    fputs("          OID: ", stdout);
    if (binding.name.count != 0 && binding.name.ids != nullptr) {
        WriteDottedIds(binding.name);
        fputc(' ', stdout);
    }
    fputc('\n', stdout);
    printf("         Type: %s\n", TypeOf(binding.value.tag, can).name);
    PrintLength(binding.value, can);
    PrintValue(binding.value, maskControls, can);
    if (g_settings.hexDump &&
        (binding.value.tag == ASN_OCTETSTRING || binding.value.tag == ASN_OPAQUE)) {
        PrintHexBytes(binding.value.data.bytes);
    }
    fputc('\n', stdout);
}

}  // namespace

void PrintResponse(int32_t errorStatus, int32_t errorIndex, const SnmpVarBindList* list,
                   bool withStatus)
{
    // JSON: an answer that carries an error status is a failure, not a
    // result; its bindings are the request's own.
    if (JsonOutput()) {
        if (withStatus && errorStatus != SNMP_ERROR_NOERROR) {
            ReportAgentError(errorStatus, errorIndex);
        } else if (withStatus) {
            PrintJsonBindings(list);
        } else {
            // A walk's binding: the walk flushes once per answer (EndResult).
            PrintJsonBindingLines(list);
        }
        return;
    }
    if (withStatus) {
        printf("  ErrorStatus: %u (%s)\n", static_cast<uint32_t>(errorStatus),
               ErrorStatusName(errorStatus));
        printf("   ErrorIndex: %u\n\n", static_cast<uint32_t>(errorIndex));
    }
    if (list != nullptr) {
        PrintVarBinds(list);
    }
}

void PrintVarBinds(const SnmpVarBindList* list)
{
    if (list == nullptr || list->count == 0 || list->bindings == nullptr) {
        return;
    }
    const bool maskControls = StdoutIsTerminal();
    const MessageCapabilities& can = PrintedCapabilities();
    for (uint32_t i = 0; i < list->count; ++i) {
        PrintVarBind(list->bindings[i], i + 1, maskControls, can);
    }
}

const char* TypeName(uint8_t tag)
{
    return TypeOf(tag, PrintedCapabilities()).name;
}

void PrintDottedOid(const AsnObjectIdentifier* oid)
{
    if (oid == nullptr) {
        return;
    }
    WriteDottedIds(*oid);
    fputc('\n', stdout);
}
