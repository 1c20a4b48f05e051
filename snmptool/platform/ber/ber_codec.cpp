// Whole community messages on top of the PDU coder.
//
//   Message ::= SEQUENCE { version INTEGER, community OCTET STRING, PDU }
#include "ber/ber_codec.h"

namespace {

// The part of a message in front of the PDU, read without allocating.
struct MessageFrame {
    int32_t version;
    BerReader community;
    BerReader pdu;  // the PDU item, which must be the message's last
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
    if (!BerReadSigned(message, ASN_INTEGER, frame.version) ||
        !BerEnter(message, ASN_OCTETSTRING, frame.community)) {
        return false;
    }
    // The PDU's reader checks that nothing follows it: read once, not twice.
    frame.pdu = message;
    return true;
}

}  // namespace

void FreeMessage(SnmpMessage& message)
{
    FreePdu(message.pdu);
}

bool EncodeMessage(const SnmpMessage& message, std::vector<uint8_t>& out)
{
    out.clear();
    BerPduSizes pduSizes{};
    if (!BerSizePdu(message.pdu, pduSizes)) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return false;
    }
    const size_t messageSize = BerItemSize(BerSignedContentSize(message.version)) +
                               BerItemSize(message.community.size()) +
                               BerItemSize(pduSizes.content);
    out.resize(BerItemSize(messageSize));

    BerWriter writer{out.data(), out.data() + out.size(), false};
    BerPutHeader(writer, ASN_SEQUENCE, messageSize);
    BerPutSigned(writer, ASN_INTEGER, message.version);
    BerPutBytes(writer, ASN_OCTETSTRING, reinterpret_cast<const uint8_t*>(message.community.data()),
                message.community.size());
    BerPutPdu(writer, message.pdu, pduSizes);
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
    if (!ReadFrame(data, size, frame) || !BerReadPdu(frame.pdu, message.pdu)) {
        return false;
    }
    if (!BerAtEnd(frame.pdu)) {
        FreeMessage(message);
        message = SnmpMessage{};
        return false;
    }
    message.version = frame.version;
    message.community.assign(reinterpret_cast<const char*>(frame.community.pos),
                             BerRemaining(frame.community));
    return true;
}

bool PeekMessageHeader(const uint8_t* data, size_t size, int32_t& version, uint8_t& pduType,
                       int32_t& requestId)
{
    MessageFrame frame{};
    if (!ReadFrame(data, size, frame) || !BerPeekPdu(frame.pdu, pduType, requestId) ||
        !BerAtEnd(frame.pdu)) {
        return false;
    }
    version = frame.version;
    return true;
}
