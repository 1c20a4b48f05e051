// Whole SNMP messages (RFC 1157 section 4; RFC 3416 section 3 for the PDUs
// of SNMPv2, RFC 1901 for their community framing) on top of the item reads
// of ber_reader and the item writes of ber_writer.
//
//   Message ::= SEQUENCE { version INTEGER, community OCTET STRING, PDU }
//   PDU     ::= [tag] { request-id, error-status, error-index, bindings }
//   GetBulkRequest-PDU ::= [5] { request-id, non-repeaters,
//                                max-repetitions, bindings }
//   Trap-PDU ::= [4] { enterprise, agent-addr, generic-trap, specific-trap,
//                      time-stamp, bindings }
//   bindings ::= SEQUENCE OF SEQUENCE { name OBJECT IDENTIFIER, value }
//
// The decoder follows this fixed grammar and never descends into a value, so
// its nesting is bounded by construction (at most four levels above a value).
#include "ber/ber_codec.h"

#include <cstring>

#include "ber/ber_reader.h"
#include "ber/ber_writer.h"

namespace {

// RFC 1157 section 4.1.6: agent-addr is a NetworkAddress, an IPv4 address.
constexpr size_t kAgentAddressSize = 4;

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

bool SizePduFields(const SnmpMessage& message, size_t& size)
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

void PutPduFields(BerWriter& writer, const SnmpMessage& message)
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

// The part of a message in front of the PDU's fields, read without allocating.
struct MessageFrame {
    int32_t version;
    BerReader community;
    uint8_t pduType;
    BerReader pdu;
};

bool ReadFrame(const uint8_t* data, size_t size, MessageFrame& frame)
{
    if (data == nullptr) {
        return false;
    }
    BerReader datagram = BerReaderOver(data, size);
    BerReader message{};
    // One datagram carries one message and nothing after it.
    if (!BerEnter(datagram, ASN_SEQUENCE, message) || !BerAtEnd(datagram)) {
        return false;
    }
    if (!BerReadSigned(message, ASN_INTEGER, frame.version)) {
        return false;
    }
    if (frame.version != SNMP_VERSION_1 && frame.version != SNMP_VERSION_2C) {
        return false;
    }
    if (!BerEnter(message, ASN_OCTETSTRING, frame.community)) {
        return false;
    }
    if (!BerReadItem(message, frame.pduType, frame.pdu) || !IsKnownPdu(frame.pduType)) {
        return false;
    }
    return BerAtEnd(message);
}

bool DecodeTrapFields(BerReader& pdu, SnmpMessage& message)
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

bool DecodeFrom(const MessageFrame& frame, SnmpMessage& message)
{
    message.version = frame.version;
    message.pduType = frame.pduType;
    message.community.assign(reinterpret_cast<const char*>(frame.community.pos),
                             BerRemaining(frame.community));
    BerReader pdu = frame.pdu;
    if (frame.pduType == PDU_TRAP_V1) {
        if (!DecodeTrapFields(pdu, message)) {
            return false;
        }
    } else if (!BerReadSigned(pdu, ASN_INTEGER, message.requestId) ||
               !BerReadSigned(pdu, ASN_INTEGER, message.errorStatus) ||
               !BerReadSigned(pdu, ASN_INTEGER, message.errorIndex)) {
        return false;
    }
    return DecodeBindings(pdu, message.bindings) && BerAtEnd(pdu);
}

}  // namespace

void FreeMessage(SnmpMessage& message)
{
    SnmpUtilOidFree(&message.enterprise);
    SnmpUtilVarBindListFree(&message.bindings);
}

bool EncodeMessage(const SnmpMessage& message, std::vector<uint8_t>& out)
{
    out.clear();
    size_t fieldsSize = 0;
    size_t bindingsSize = 0;
    if (!IsKnownPdu(message.pduType) || !SizePduFields(message, fieldsSize) ||
        !SizeBindings(message.bindings, bindingsSize)) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return false;
    }
    const size_t pduSize = fieldsSize + BerItemSize(bindingsSize);
    const size_t messageSize = BerItemSize(BerSignedContentSize(message.version)) +
                               BerItemSize(message.community.size()) + BerItemSize(pduSize);
    out.resize(BerItemSize(messageSize));

    BerWriter writer{out.data(), out.data() + out.size(), false};
    BerPutHeader(writer, ASN_SEQUENCE, messageSize);
    BerPutSigned(writer, ASN_INTEGER, message.version);
    BerPutBytes(writer, ASN_OCTETSTRING, reinterpret_cast<const uint8_t*>(message.community.data()),
                message.community.size());
    BerPutHeader(writer, message.pduType, pduSize);
    PutPduFields(writer, message);
    PutBindings(writer, message.bindings, bindingsSize);
    // The sizes computed above and the bytes written must agree exactly.
    if (writer.failed || writer.pos != writer.end) {
        out.clear();
        SetLastError(ERROR_BAD_ARGUMENT);
        return false;
    }
    return true;
}

bool DecodeMessage(const uint8_t* data, size_t size, SnmpMessage& message)
{
    message = SnmpMessage{};
    MessageFrame frame{};
    if (!ReadFrame(data, size, frame)) {
        return false;
    }
    if (!DecodeFrom(frame, message)) {
        FreeMessage(message);
        message = SnmpMessage{};
        return false;
    }
    return true;
}

bool PeekMessageHeader(const uint8_t* data, size_t size, int32_t& version, uint8_t& pduType,
                       int32_t& requestId)
{
    MessageFrame frame{};
    if (!ReadFrame(data, size, frame)) {
        return false;
    }
    // A Trap-PDU carries no request ID.
    int32_t id = 0;
    if (frame.pduType != PDU_TRAP_V1 && !BerReadSigned(frame.pdu, ASN_INTEGER, id)) {
        return false;
    }
    version = frame.version;
    pduType = frame.pduType;
    requestId = id;
    return true;
}
