// Feeds arbitrary datagrams to the message decoder. Whatever decodes must
// encode again, decode again to the same message, and encode to the same bytes
// a second time; the header peek must agree with the full decode.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ber/ber_codec.h"

namespace {

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool SameOid(const AsnObjectIdentifier& a, const AsnObjectIdentifier& b)
{
    return a.count == b.count &&
           (a.count == 0 || std::memcmp(a.ids, b.ids, a.count * sizeof(uint32_t)) == 0);
}

bool SameValue(const AsnAny& a, const AsnAny& b)
{
    if (a.tag != b.tag) {
        return false;
    }
    switch (a.tag) {
    case ASN_INTEGER:
        return a.data.integer == b.data.integer;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
        return a.data.unsigned32 == b.data.unsigned32;
    case ASN_NULL:
        return true;
    case ASN_OBJECTIDENTIFIER:
        return SameOid(a.data.object, b.data.object);
    default:
        return a.data.bytes.length == b.data.bytes.length &&
               (a.data.bytes.length == 0 ||
                std::memcmp(a.data.bytes.stream, b.data.bytes.stream, a.data.bytes.length) == 0);
    }
}

bool SameMessage(const SnmpMessage& a, const SnmpMessage& b)
{
    if (a.version != b.version || a.community != b.community || a.pduType != b.pduType ||
        a.requestId != b.requestId || a.errorStatus != b.errorStatus ||
        a.errorIndex != b.errorIndex || !SameOid(a.enterprise, b.enterprise) ||
        std::memcmp(a.agentAddress, b.agentAddress, sizeof a.agentAddress) != 0 ||
        a.genericTrap != b.genericTrap || a.specificTrap != b.specificTrap ||
        a.timeStamp != b.timeStamp || a.bindings.count != b.bindings.count) {
        return false;
    }
    for (uint32_t i = 0; i < a.bindings.count; ++i) {
        if (!SameOid(a.bindings.bindings[i].name, b.bindings.bindings[i].name) ||
            !SameValue(a.bindings.bindings[i].value, b.bindings.bindings[i].value)) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int32_t version = 0;
    uint8_t pduType = 0;
    int32_t requestId = 0;
    const bool peeked = PeekMessageHeader(data, size, version, pduType, requestId);

    SnmpMessage message;
    if (!DecodeMessage(data, size, message)) {
        Require(message.bindings.bindings == nullptr && message.bindings.count == 0);
        Require(message.enterprise.ids == nullptr && message.community.empty());
        return 0;
    }
    Require(peeked && version == message.version && pduType == message.pduType &&
            requestId == message.requestId);

    std::vector<uint8_t> first;
    Require(EncodeMessage(message, first));
    SnmpMessage again;
    Require(DecodeMessage(first.data(), first.size(), again));
    Require(SameMessage(message, again));
    std::vector<uint8_t> second;
    Require(EncodeMessage(again, second));
    Require(first == second);

    FreeMessage(again);
    FreeMessage(message);
    return 0;
}
