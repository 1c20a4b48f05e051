// The PDU coder on top of the item reads of ber_reader and the item writes
// of ber_writer.
#include "ber/pdu_codec.h"

#include <cstring>

namespace {

// RFC 1157 section 4.1.6: agent-addr is a NetworkAddress, an IPv4 address.
constexpr size_t kAgentAddressSize = 4;

// ---- Encoding ---------------------------------------------------------------

// The sizes of one binding's name and value contents, and of the binding's own.
struct BindingSizes {
    BerOidArcs name;
    size_t nameSize;
    size_t valueSize;
    size_t contentSize;
};

bool SizeBinding(const SnmpVarBind& binding, BindingSizes& sizes)
{
    if (!BerOidArcsOf(binding.name, sizes.name) ||
        !BerValueContentSize(binding.value, sizes.valueSize)) {
        return false;
    }
    sizes.nameSize = BerOidContentSize(sizes.name);
    sizes.contentSize = BerItemSize(sizes.nameSize) + BerItemSize(sizes.valueSize);
    return true;
}

bool SizeBindings(const SnmpVarBindList& list, size_t& size)
{
    if (list.count > 0 && list.bindings == nullptr) {
        return false;
    }
    size = 0;
    for (uint32_t i = 0; i < list.count; ++i) {
        BindingSizes sizes{};
        if (!SizeBinding(list.bindings[i], sizes)) {
            return false;
        }
        size += BerItemSize(sizes.contentSize);
    }
    return true;
}

bool SizePduFields(const SnmpPdu& message, size_t& size)
{
    if (message.pduType != PDU_TRAP_V1) {
        size = BerItemSize(BerSignedContentSize(message.requestId)) +
               BerItemSize(BerSignedContentSize(message.errorStatus)) +
               BerItemSize(BerSignedContentSize(message.errorIndex));
        return true;
    }
    BerOidArcs enterprise{};
    if (!BerOidArcsOf(message.enterprise, enterprise)) {
        return false;
    }
    size = BerItemSize(BerOidContentSize(enterprise)) + BerItemSize(kAgentAddressSize) +
           BerItemSize(BerSignedContentSize(message.genericTrap)) +
           BerItemSize(BerSignedContentSize(message.specificTrap)) +
           BerItemSize(BerUnsignedContentSize(message.timeStamp));
    return true;
}

void PutPduFields(BerWriter& writer, const SnmpPdu& message)
{
    if (message.pduType != PDU_TRAP_V1) {
        BerPutSigned(writer, ASN_INTEGER, message.requestId);
        BerPutSigned(writer, ASN_INTEGER, message.errorStatus);
        BerPutSigned(writer, ASN_INTEGER, message.errorIndex);
        return;
    }
    BerOidArcs enterprise{};
    if (!BerOidArcsOf(message.enterprise, enterprise)) {
        writer.failed = true;
        return;
    }
    BerPutOid(writer, ASN_OBJECTIDENTIFIER, enterprise);
    BerPutBytes(writer, ASN_IPADDRESS, message.agentAddress, kAgentAddressSize);
    BerPutSigned(writer, ASN_INTEGER, message.genericTrap);
    BerPutSigned(writer, ASN_INTEGER, message.specificTrap);
    BerPutUnsigned(writer, ASN_TIMETICKS, message.timeStamp);
}

void PutBindings(BerWriter& writer, const SnmpVarBindList& list, size_t size)
{
    BerPutHeader(writer, ASN_SEQUENCE, size);
    for (uint32_t i = 0; i < list.count; ++i) {
        const SnmpVarBind& binding = list.bindings[i];
        BindingSizes sizes{};
        if (!SizeBinding(binding, sizes)) {
            writer.failed = true;
            return;
        }
        BerPutHeader(writer, ASN_SEQUENCE, sizes.contentSize);
        BerPutOid(writer, ASN_OBJECTIDENTIFIER, sizes.name);
        BerPutValue(writer, binding.value);
    }
}

// ---- Decoding ---------------------------------------------------------------

bool DecodeTrapFields(BerReader& pdu, SnmpPdu& message)
{
    BerReader content{};
    if (!BerEnter(pdu, ASN_OBJECTIDENTIFIER, content) ||
        !BerDecodeOid(content, message.enterprise)) {
        return false;
    }
    const uint8_t* address = nullptr;
    if (!BerEnter(pdu, ASN_IPADDRESS, content) || BerRemaining(content) != kAgentAddressSize ||
        !BerTake(content, kAgentAddressSize, address)) {
        return false;
    }
    std::memcpy(message.agentAddress, address, kAgentAddressSize);
    return BerReadSigned(pdu, ASN_INTEGER, message.genericTrap) &&
           BerReadSigned(pdu, ASN_INTEGER, message.specificTrap) &&
           BerReadUnsigned(pdu, ASN_TIMETICKS, message.timeStamp);
}

bool DecodeBinding(BerReader& list, SnmpVarBind& binding)
{
    BerReader item{};
    BerReader content{};
    uint8_t tag = 0;
    if (!BerEnter(list, ASN_SEQUENCE, item) || !BerEnter(item, ASN_OBJECTIDENTIFIER, content) ||
        !BerDecodeOid(content, binding.name)) {
        return false;
    }
    if (!BerReadItem(item, tag, content) || !BerDecodeValue(tag, content, binding.value)) {
        return false;
    }
    return BerAtEnd(item);
}

// Fills `bindings`; on failure what was built stays in it for the caller to free.
bool DecodeBindings(BerReader& pdu, SnmpVarBindList& bindings)
{
    BerReader list{};
    if (!BerEnter(pdu, ASN_SEQUENCE, list)) {
        return false;
    }
    // Count the bindings first, so the array is allocated once; every binding
    // counted takes at least two bytes, which bounds the allocation by what
    // the datagram holds.
    size_t count = 0;
    for (BerReader scan = list; !BerAtEnd(scan); ++count) {
        BerReader item{};
        if (!BerEnter(scan, ASN_SEQUENCE, item)) {
            return false;
        }
    }
    if (count == 0) {
        return true;
    }
    if (count > UINT32_MAX) {
        return false;
    }
    // Zero-filled: a binding not yet decoded holds nothing to free.
    bindings.bindings = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(count * sizeof(SnmpVarBind)));
    if (bindings.bindings == nullptr) {
        return false;
    }
    bindings.count = static_cast<uint32_t>(count);
    for (size_t i = 0; i < count; ++i) {
        if (!DecodeBinding(list, bindings.bindings[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool IsKnownPdu(uint8_t tag)
{
    switch (tag) {
    case PDU_GET:
    case PDU_GETNEXT:
    case PDU_RESPONSE:
    case PDU_SET:
    case PDU_TRAP_V1:
    case PDU_GETBULK:
    case PDU_INFORM:
    case PDU_TRAP_V2:
    case PDU_REPORT:
        return true;
    default:
        return false;
    }
}

void FreePdu(SnmpPdu& pdu)
{
    SnmpUtilOidFree(&pdu.enterprise);
    SnmpUtilVarBindListFree(&pdu.bindings);
}

bool BerSizePdu(const SnmpPdu& pdu, BerPduSizes& sizes)
{
    size_t fieldsSize = 0;
    if (!IsKnownPdu(pdu.pduType) || !SizePduFields(pdu, fieldsSize) ||
        !SizeBindings(pdu.bindings, sizes.bindings)) {
        return false;
    }
    sizes.content = fieldsSize + BerItemSize(sizes.bindings);
    return true;
}

void BerPutPdu(BerWriter& writer, const SnmpPdu& pdu, const BerPduSizes& sizes)
{
    BerPutHeader(writer, pdu.pduType, sizes.content);
    PutPduFields(writer, pdu);
    PutBindings(writer, pdu.bindings, sizes.bindings);
}

bool BerReadPdu(BerReader& reader, SnmpPdu& pdu)
{
    pdu = SnmpPdu{};
    BerReader content{};
    if (!BerReadItem(reader, pdu.pduType, content) || !IsKnownPdu(pdu.pduType)) {
        pdu = SnmpPdu{};
        return false;
    }
    bool read = false;
    if (pdu.pduType == PDU_TRAP_V1) {
        read = DecodeTrapFields(content, pdu);
    } else {
        read = BerReadSigned(content, ASN_INTEGER, pdu.requestId) &&
               BerReadSigned(content, ASN_INTEGER, pdu.errorStatus) &&
               BerReadSigned(content, ASN_INTEGER, pdu.errorIndex);
    }
    if (!read || !DecodeBindings(content, pdu.bindings) || !BerAtEnd(content)) {
        FreePdu(pdu);
        pdu = SnmpPdu{};
        return false;
    }
    return true;
}

bool BerPeekPdu(BerReader& reader, uint8_t& pduType, int32_t& requestId)
{
    uint8_t tag = 0;
    BerReader content{};
    if (!BerReadItem(reader, tag, content) || !IsKnownPdu(tag)) {
        return false;
    }
    int32_t id = 0;
    if (tag != PDU_TRAP_V1 && !BerReadSigned(content, ASN_INTEGER, id)) {
        return false;
    }
    pduType = tag;
    requestId = id;
    return true;
}
