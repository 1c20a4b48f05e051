#include "wire_layout.h"

#include "ber/ber_reader.h"
#include "values/wire_constants.h"

namespace {

constexpr uint8_t kLongLengthFlag = 0x80;
constexpr size_t kMaxLengthBytes = 4;

}  // namespace

bool ReadTlv(const uint8_t* data, size_t offset, size_t end, TlvSpan& span)
{
    if (offset > end) {
        return false;
    }
    // The codec's own checked read, so that the agent never judges a length
    // by rules of its own.
    BerReader reader = BerReaderOver(data + offset, end - offset);
    uint8_t tag = 0;
    BerReader content{};
    if (!BerReadItem(reader, tag, content)) {
        return false;
    }
    span.tagOffset = offset;
    span.contentOffset = static_cast<size_t>(content.pos - data);
    span.contentLength = BerRemaining(content);
    return true;
}

bool LocateBindingValues(const uint8_t* data, size_t size, std::vector<TlvSpan>& values)
{
    values.clear();
    TlvSpan message;
    if (!ReadTlv(data, 0, size, message) || data[0] != ASN_SEQUENCE) {
        return false;
    }
    size_t end = message.contentOffset + message.contentLength;
    TlvSpan version;
    TlvSpan community;
    TlvSpan pdu;
    if (!ReadTlv(data, message.contentOffset, end, version) ||
        !ReadTlv(data, version.contentOffset + version.contentLength, end, community) ||
        !ReadTlv(data, community.contentOffset + community.contentLength, end, pdu)) {
        return false;
    }
    size_t pduEnd = pdu.contentOffset + pdu.contentLength;
    size_t pos = pdu.contentOffset;
    // Before the bindings: request-id, error-status and error-index (RFC 1157
    // section 4.1), or for a Trap-PDU enterprise, agent-addr, generic-trap,
    // specific-trap and time-stamp (section 4.1.6).
    int fields = data[pdu.tagOffset] == PDU_TRAP_V1 ? 5 : 3;
    for (int i = 0; i < fields; ++i) {
        TlvSpan field;
        if (!ReadTlv(data, pos, pduEnd, field)) {
            return false;
        }
        pos = field.contentOffset + field.contentLength;
    }
    TlvSpan list;
    if (!ReadTlv(data, pos, pduEnd, list) || data[pos] != ASN_SEQUENCE) {
        return false;
    }
    size_t listEnd = list.contentOffset + list.contentLength;
    pos = list.contentOffset;
    while (pos < listEnd) {
        TlvSpan binding;
        TlvSpan name;
        TlvSpan value;
        if (!ReadTlv(data, pos, listEnd, binding)) {
            return false;
        }
        size_t bindingEnd = binding.contentOffset + binding.contentLength;
        if (!ReadTlv(data, binding.contentOffset, bindingEnd, name) ||
            !ReadTlv(data, name.contentOffset + name.contentLength, bindingEnd, value)) {
            return false;
        }
        values.push_back(value);
        pos = bindingEnd;
    }
    return true;
}

void AppendLength(std::vector<uint8_t>& out, size_t length)
{
    if (length < kLongLengthFlag) {
        out.push_back(static_cast<uint8_t>(length));
        return;
    }
    out.push_back(kLongLengthFlag | kMaxLengthBytes);
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(length >> shift));
    }
}
