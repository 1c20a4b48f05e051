// The JSON Lines layout: one object a line for every binding of a result,
// every failure and every notification, each line written whole and flushed.
#include "json_printer.h"

#include <array>
#include <cstring>
#include <vector>

#include "json_output.h"
#include "name_tables.h"
#include "tool.h"

namespace {

// Built again for every line; its buffer is kept, so a walk allocates once.
JsonLine g_line(kStdoutBufferBytes);

// The opaque wrapping of RFC-less agent extensions: an Opaque whose bytes
// are one more BER value under an application tag 0x9F 0x7x.
enum : uint8_t {
    OPAQUE_TAG_LEAD = 0x9F,
    OPAQUE_COUNTER64 = 0x76,
    OPAQUE_FLOAT = 0x78,
    OPAQUE_DOUBLE = 0x79,
    OPAQUE_INTEGER64 = 0x7A,
    OPAQUE_UNSIGNED64 = 0x7B,
};

// The number inside an Opaque wrapping, big-endian, at most eight bytes.
bool OpaqueNumber(const AsnOctetString& bytes, uint8_t* kind, uint64_t* number, size_t* width)
{
    if (bytes.stream == nullptr || bytes.length < 3 || bytes.stream[0] != OPAQUE_TAG_LEAD) {
        return false;
    }
    const size_t length = bytes.stream[2];
    if (length == 0 || length > 8 || length != bytes.length - 3u) {
        return false;
    }
    *kind = bytes.stream[1];
    *width = length;
    *number = 0;
    for (size_t i = 0; i < length; ++i) {
        *number = (*number << 8) | bytes.stream[3 + i];
    }
    return true;
}

// An Opaque that wraps a float, a double or a 64-bit number: its kind and
// value. False for any other Opaque.
bool AddOpaqueNumber(JsonLine& line, const AsnOctetString& bytes)
{
    uint8_t kind = 0;
    uint64_t number = 0;
    size_t width = 0;
    if (!OpaqueNumber(bytes, &kind, &number, &width)) {
        return false;
    }
    const uint64_t signBit = uint64_t{1} << (8 * width - 1);
    switch (kind) {
    case OPAQUE_FLOAT: {
        if (width != 4) {
            return false;
        }
        const auto bits = static_cast<uint32_t>(number);
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        line.Text("opaque_type", "float");
        line.Real("value", value);
        return true;
    }
    case OPAQUE_DOUBLE: {
        if (width != 8) {
            return false;
        }
        double value = 0;
        std::memcpy(&value, &number, sizeof value);
        line.Text("opaque_type", "double");
        line.Real("value", value);
        return true;
    }
    case OPAQUE_INTEGER64: {
        // Sign-extended from its width (BER integers are two's complement).
        const uint64_t extended =
            (number & signBit) != 0 && width < 8 ? number | ~(signBit * 2 - 1) : number;
        line.Text("opaque_type", "integer64");
        line.Signed("value", static_cast<int64_t>(extended));
        return true;
    }
    case OPAQUE_COUNTER64:
    case OPAQUE_UNSIGNED64:
        line.Text("opaque_type", kind == OPAQUE_COUNTER64 ? "counter64" : "unsigned64");
        line.Unsigned("value", number);
        return true;
    default:
        return false;
    }
}

void AddBytes(JsonLine& line, const AsnAny& value)
{
    const AsnOctetString& bytes = value.data.bytes;
    if (!(value.tag == ASN_OPAQUE && AddOpaqueNumber(line, bytes))) {
        if (bytes.stream == nullptr || IsValidUtf8(bytes.stream, bytes.length)) {
            line.Text("value", std::string_view(reinterpret_cast<const char*>(bytes.stream),
                                                bytes.stream != nullptr ? bytes.length : 0));
        } else {
            line.Null("value");
        }
    }
    line.Hex("hex", bytes.stream, bytes.length);
}

// The name the MIB tables give `oid`, under `key`; nothing where they give none.
void AddOidName(JsonLine& line, const char* key, const AsnObjectIdentifier& oid)
{
    char* name = nullptr;
    SnmpMgrOidToStr(&oid, &name);
    if (name != nullptr) {
        line.Text(key, name);
        SnmpUtilMemFree(name);
    }
}

void AddValue(JsonLine& line, const AsnAny& value)
{
    const char* type = TypeName(value.tag);
    line.Text("type", type);
    switch (value.tag) {
    case ASN_INTEGER:
        line.Signed("value", value.data.integer);
        return;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
        line.Unsigned("value", value.data.unsigned32);
        return;
    case ASN_COUNTER64:
        // Version 1 has no Counter64: there the type stays unknown.
        if (PrintedCapabilities().counter64) {
            line.Unsigned("value", value.data.counter64);
            return;
        }
        break;
    case ASN_OCTETSTRING:
    case ASN_OPAQUE:
    case ASN_SEQUENCE:
        AddBytes(line, value);
        return;
    case ASN_IPADDRESS:
        line.DottedBytes("value", value.data.bytes.stream, value.data.bytes.length);
        return;
    case ASN_OBJECTIDENTIFIER: {
        line.Dotted("value", value.data.object.ids, value.data.object.count);
        AddOidName(line, "value_name", value.data.object);
        return;
    }
    default:
        break;
    }
    line.Null("value");
}

void AddBinding(JsonLine& line, const SnmpVarBind& binding)
{
    line.Dotted("oid", binding.name.ids, binding.name.count);
    AddOidName(line, "name", binding.name);
    AddValue(line, binding.value);
}

void AddOrigin(JsonLine& line, const TrapOrigin& origin)
{
    line.Text("from", origin.sender);
    const char* version = SnmpMgrVersionWord(origin.version);
    line.Text("version", version != nullptr ? version : "unknown");
    line.Text("pdu", origin.inform ? "inform" : "trap");
    const MessageCapabilities* can = SnmpMgrVersionCapabilities(origin.version);
    if (can != nullptr && can->userSecurity) {
        line.Text("user", origin.securityName);
        line.Hex("engine_id", origin.engineId.data(), origin.engineId.size());
        line.Text("context", origin.contextName);
    } else {
        const auto* bytes = reinterpret_cast<const uint8_t*>(origin.securityName.data());
        // A community is bytes: shown as text only where it is UTF-8.
        if (IsValidUtf8(bytes, origin.securityName.size())) {
            line.Text("community", origin.securityName);
        } else {
            line.Null("community");
        }
    }
}

void AddTrapOid(JsonLine& line, const std::vector<uint32_t>& ids)
{
    line.Dotted("trap_oid", ids.data(), static_cast<uint32_t>(ids.size()));
    const AsnObjectIdentifier oid = {static_cast<uint32_t>(ids.size()),
                                     const_cast<uint32_t*>(ids.data())};
    AddOidName(line, "trap_name", oid);
}

// time, then agent, op and poll where a request command runs.
void BeginLine()
{
    g_line.Begin();
    g_line.Now("time");
    if (g_result.op == nullptr) {
        return;
    }
    g_line.Text("agent", g_result.agent);
    g_line.Text("op", g_result.op);
    if (g_result.poll != 0) {
        g_line.Unsigned("poll", g_result.poll);
    }
}

}  // namespace

void PrintJsonBindings(const SnmpVarBindList* list)
{
    PrintJsonBindingLines(list);
    fflush(stdout);
}

void PrintJsonBindingLines(const SnmpVarBindList* list)
{
    for (uint32_t i = 0; list != nullptr && list->bindings != nullptr && i < list->count; ++i) {
        BeginLine();
        AddBinding(g_line, list->bindings[i]);
        g_line.Write(false);
    }
}

void PrintJsonFailure(const char* error, const char* failureClass, int32_t index,
                      std::string_view message)
{
    BeginLine();
    g_line.Text("error", error);
    if (index >= 0) {
        g_line.Signed("index", index);
    }
    g_line.Text("class", failureClass);
    if (!message.empty()) {
        g_line.Text("message", message);
    }
    g_line.Write();
}

void PrintJsonTrap(const TrapView& trap)
{
    BeginLine();
    if (trap.origin != nullptr) {
        AddOrigin(g_line, *trap.origin);
    }
    g_line.Unsigned("uptime", trap.timeStamp);
    if (trap.origin != nullptr && !trap.origin->trapOid.empty()) {
        AddTrapOid(g_line, trap.origin->trapOid);
    }
    if (trap.enterprise != nullptr) {
        g_line.Dotted("enterprise", trap.enterprise->ids, trap.enterprise->count);
    }
    if (trap.agentAddress != nullptr) {
        g_line.DottedBytes("agent_addr", trap.agentAddress->stream, trap.agentAddress->length);
    }
    g_line.Signed("generic", trap.genericTrap);
    g_line.Unsigned("specific", static_cast<uint32_t>(trap.specificTrap));
    if (trap.origin != nullptr && trap.origin->inform) {
        g_line.Boolean("acked", trap.origin->acked);
    }
    g_line.BeginArray("bindings");
    for (uint32_t i = 0;
         trap.bindings != nullptr && trap.bindings->bindings != nullptr && i < trap.bindings->count;
         ++i) {
        g_line.BeginElement();
        AddBinding(g_line, trap.bindings->bindings[i]);
        g_line.EndElement();
    }
    g_line.EndArray();
    g_line.Write();
}

void PrintJsonDropped(uint64_t count, const char* reason)
{
    BeginLine();
    g_line.Unsigned("dropped", count);
    g_line.Text("reason", reason);
    g_line.Write();
}
