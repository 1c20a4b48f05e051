// SNMPv3 messages on the bounded reader and the two-pass writer of ber/.
#include "security/usm_message.h"

#include <algorithm>

#include "ber/ber_reader.h"
#include "ber/ber_writer.h"

namespace {

size_t BytesItemSize(size_t size)
{
    return BerItemSize(size);
}

size_t SignedItemSize(int32_t value)
{
    return BerItemSize(BerSignedContentSize(value));
}

size_t UsmParametersContentSize(const V3Message& message)
{
    return BytesItemSize(message.engineId.size()) + SignedItemSize(message.engineBoots) +
           SignedItemSize(message.engineTime) + BytesItemSize(message.userName.size()) +
           BytesItemSize(message.authParams.size()) + BytesItemSize(message.privParams.size());
}

size_t GlobalDataContentSize(const V3Message& message)
{
    return SignedItemSize(message.msgId) + SignedItemSize(message.maxSize) + BytesItemSize(1) +
           SignedItemSize(message.securityModel);
}

bool ReadBytes(BerReader& reader, std::vector<uint8_t>& bytes)
{
    BerReader content{};
    if (!BerEnter(reader, ASN_OCTETSTRING, content)) {
        return false;
    }
    bytes.assign(content.pos, content.end);
    return true;
}

bool ReadNonNegative(BerReader& reader, int32_t& value)
{
    return BerReadSigned(reader, ASN_INTEGER, value) && value >= 0;
}

bool DecodeUsmParameters(BerReader parameters, const uint8_t* base, V3Message& message,
                         size_t& authOffset)
{
    BerReader usm{};
    std::vector<uint8_t> userName;
    BerReader auth{};
    if (!BerEnter(parameters, ASN_SEQUENCE, usm) || !BerAtEnd(parameters) ||
        !ReadBytes(usm, message.engineId) || !ReadNonNegative(usm, message.engineBoots) ||
        !ReadNonNegative(usm, message.engineTime) || !ReadBytes(usm, userName) ||
        !BerEnter(usm, ASN_OCTETSTRING, auth) || !ReadBytes(usm, message.privParams) ||
        !BerAtEnd(usm)) {
        return false;
    }
    message.userName.assign(userName.begin(), userName.end());
    message.authParams.assign(auth.pos, auth.end);
    authOffset = static_cast<size_t>(auth.pos - base);
    return true;
}

}  // namespace

bool EncodeV3Message(const V3Message& message, std::vector<uint8_t>& out, size_t& authOffset)
{
    const bool encrypted = (message.flags & kMsgFlagPriv) != 0;
    const size_t usmSize = BerItemSize(UsmParametersContentSize(message));
    const size_t dataSize = encrypted ? BytesItemSize(message.data.size()) : message.data.size();
    const size_t contentSize = SignedItemSize(SNMP_VERSION_3) +
                               BerItemSize(GlobalDataContentSize(message)) + BerItemSize(usmSize) +
                               dataSize;
    out.assign(BerItemSize(contentSize), 0);
    BerWriter writer{out.data(), out.data() + out.size(), false};
    BerPutHeader(writer, ASN_SEQUENCE, contentSize);
    BerPutSigned(writer, ASN_INTEGER, SNMP_VERSION_3);
    BerPutHeader(writer, ASN_SEQUENCE, GlobalDataContentSize(message));
    BerPutSigned(writer, ASN_INTEGER, message.msgId);
    BerPutSigned(writer, ASN_INTEGER, message.maxSize);
    BerPutBytes(writer, ASN_OCTETSTRING, &message.flags, 1);
    BerPutSigned(writer, ASN_INTEGER, message.securityModel);
    BerPutHeader(writer, ASN_OCTETSTRING, usmSize);
    BerPutHeader(writer, ASN_SEQUENCE, UsmParametersContentSize(message));
    BerPutBytes(writer, ASN_OCTETSTRING, message.engineId.data(), message.engineId.size());
    BerPutSigned(writer, ASN_INTEGER, message.engineBoots);
    BerPutSigned(writer, ASN_INTEGER, message.engineTime);
    BerPutBytes(writer, ASN_OCTETSTRING, reinterpret_cast<const uint8_t*>(message.userName.data()),
                message.userName.size());
    BerPutBytes(writer, ASN_OCTETSTRING, message.authParams.data(), message.authParams.size());
    authOffset = static_cast<size_t>(writer.pos - out.data()) - message.authParams.size();
    BerPutBytes(writer, ASN_OCTETSTRING, message.privParams.data(), message.privParams.size());
    if (encrypted) {
        BerPutBytes(writer, ASN_OCTETSTRING, message.data.data(), message.data.size());
    } else if (static_cast<size_t>(writer.end - writer.pos) == message.data.size()) {
        std::copy(message.data.begin(), message.data.end(), writer.pos);
        writer.pos += message.data.size();
    }
    return !writer.failed && writer.pos == writer.end;
}

bool DecodeV3Message(const uint8_t* data, size_t size, V3Message& message, size_t& authOffset)
{
    BerReader whole = BerReaderOver(data, size);
    BerReader content{};
    BerReader global{};
    BerReader flags{};
    BerReader parameters{};
    int32_t version = -1;
    if (!BerEnter(whole, ASN_SEQUENCE, content) || !BerAtEnd(whole) ||
        !BerReadSigned(content, ASN_INTEGER, version) || version != SNMP_VERSION_3 ||
        !BerEnter(content, ASN_SEQUENCE, global) || !ReadNonNegative(global, message.msgId) ||
        !ReadNonNegative(global, message.maxSize) || !BerEnter(global, ASN_OCTETSTRING, flags) ||
        BerRemaining(flags) != 1 || !BerReadSigned(global, ASN_INTEGER, message.securityModel) ||
        !BerAtEnd(global) || message.securityModel != kUsmSecurityModel ||
        !BerEnter(content, ASN_OCTETSTRING, parameters) ||
        !DecodeUsmParameters(parameters, data, message, authOffset)) {
        return false;
    }
    message.flags = *flags.pos;
    const uint8_t* dataStart = content.pos;
    uint8_t tag = 0;
    BerReader item{};
    if (!BerReadItem(content, tag, item) || !BerAtEnd(content)) {
        return false;
    }
    if ((message.flags & kMsgFlagPriv) != 0) {
        if (tag != ASN_OCTETSTRING) {
            return false;
        }
        message.data.assign(item.pos, item.end);
    } else {
        if (tag != ASN_SEQUENCE) {
            return false;
        }
        message.data.assign(dataStart, content.pos);
    }
    return true;
}

bool PeekV3MsgId(const uint8_t* data, size_t size, int32_t& msgId)
{
    BerReader whole = BerReaderOver(data, size);
    BerReader content{};
    BerReader global{};
    int32_t version = -1;
    return data != nullptr && BerEnter(whole, ASN_SEQUENCE, content) && BerAtEnd(whole) &&
           BerReadSigned(content, ASN_INTEGER, version) && version == SNMP_VERSION_3 &&
           BerEnter(content, ASN_SEQUENCE, global) && ReadNonNegative(global, msgId);
}

bool EncodeScopedPdu(const std::vector<uint8_t>& contextEngineId, const std::string& contextName,
                     const SnmpPdu& pdu, std::vector<uint8_t>& out)
{
    BerPduSizes pduSizes{};
    if (!BerSizePdu(pdu, pduSizes)) {
        return false;
    }
    const size_t scopedSize = BytesItemSize(contextEngineId.size()) +
                              BytesItemSize(contextName.size()) + BerItemSize(pduSizes.content);
    out.assign(BerItemSize(scopedSize), 0);
    BerWriter writer{out.data(), out.data() + out.size(), false};
    BerPutHeader(writer, ASN_SEQUENCE, scopedSize);
    BerPutBytes(writer, ASN_OCTETSTRING, contextEngineId.data(), contextEngineId.size());
    BerPutBytes(writer, ASN_OCTETSTRING, reinterpret_cast<const uint8_t*>(contextName.data()),
                contextName.size());
    BerPutPdu(writer, pdu, pduSizes);
    return !writer.failed && writer.pos == writer.end;
}

bool DecodeScopedPdu(const uint8_t* data, size_t size, std::vector<uint8_t>& contextEngineId,
                     std::string& contextName, SnmpPdu& pdu)
{
    BerReader whole = BerReaderOver(data, size);
    BerReader scoped{};
    BerReader name{};
    if (!BerEnter(whole, ASN_SEQUENCE, scoped) || !ReadBytes(scoped, contextEngineId) ||
        !BerEnter(scoped, ASN_OCTETSTRING, name) || !BerReadPdu(scoped, pdu)) {
        return false;
    }
    if (!BerAtEnd(scoped)) {
        FreePdu(pdu);
        return false;
    }
    contextName.assign(reinterpret_cast<const char*>(name.pos), BerRemaining(name));
    return true;
}
