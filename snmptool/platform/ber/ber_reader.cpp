// Checked reads of BER items. Every byte is reached through BerTake, and every
// declared length is compared with what remains before it is used.
#include "ber/ber_reader.h"

#include <cstring>

namespace {

// X.690 section 8.1.2.4: low five bits all set announce a tag in further bytes.
constexpr uint8_t kHighTagNumber = 0x1F;
// X.690 section 8.1.3: bit 8 of the first length byte selects the long form;
// 0x80 alone is the indefinite form, 0xFF is reserved.
constexpr uint8_t kLongLength = 0x80;
constexpr uint8_t kIndefiniteLength = 0x80;
constexpr uint8_t kReservedLength = 0xFF;
// X.690 section 8.19.2: bit 8 of a sub-identifier byte says more bytes follow.
constexpr uint8_t kMoreSubIdBytes = 0x80;

// Counter, Gauge and TimeTicks take at most 4 value bytes (Counter64 8), after
// one leading zero byte that keeps a value with its top bit set from reading
// as negative.
constexpr size_t kMaxUnsignedContent = 5;
constexpr size_t kMaxUnsigned64Content = 9;
constexpr size_t kMaxSignedContent = 4;

constexpr uint64_t kMaxSubId = 0xFFFFFFFFu;
// The first encoded sub-identifier holds two (X.690 section 8.19.4): 40 * X + Y,
// where only X = 2 lets Y go beyond 39. Y itself must still fit 32 bits.
constexpr uint64_t kMaxFirstSubId = kMaxSubId + 80;

bool ReadLength(BerReader& reader, size_t& length)
{
    const uint8_t* first = nullptr;
    if (!BerTake(reader, 1, first)) {
        return false;
    }
    if ((*first & kLongLength) == 0) {
        length = *first;
        return true;
    }
    if (*first == kIndefiniteLength || *first == kReservedLength) {
        return false;
    }
    // Agents may use more length bytes than the value needs; leading zero
    // bytes are harmless, so any count is read. Stopping once the value
    // passes what remains keeps it from overflowing; the caller's BerTake
    // refuses a length beyond the container.
    const size_t count = *first & 0x7Fu;
    const uint8_t* bytes = nullptr;
    if (!BerTake(reader, count, bytes)) {
        return false;
    }
    size_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        if (value > BerRemaining(reader)) {
            return false;
        }
        value = (value << 8) | bytes[i];
    }
    length = value;
    return true;
}

// Hands out the whole content of an item at once (the one checked step).
const uint8_t* TakeAll(BerReader& content, size_t& size)
{
    size = BerRemaining(content);
    const uint8_t* bytes = nullptr;
    BerTake(content, size, bytes);
    return bytes;
}

// The unsigned number of at most `maxSize` content bytes, the first of them
// zero when all are used.
bool DecodeUnsignedOf(BerReader content, size_t maxSize, uint64_t& value)
{
    size_t size = 0;
    const uint8_t* bytes = TakeAll(content, size);
    if (size == 0 || size > maxSize) {
        return false;
    }
    if (size == maxSize && bytes[0] != 0) {
        return false;
    }
    // Read as unsigned whatever the first bit says: agents that leave out the
    // leading zero byte (33000 sent as 0x80E8) still mean 33000.
    uint64_t bits = 0;
    for (size_t i = 0; i < size; ++i) {
        bits = (bits << 8) | bytes[i];
    }
    value = bits;
    return true;
}

}  // namespace

bool BerTake(BerReader& reader, size_t count, const uint8_t*& bytes)
{
    if (count > BerRemaining(reader)) {
        return false;
    }
    bytes = reader.pos;
    reader.pos += count;
    return true;
}

bool BerReadItem(BerReader& reader, uint8_t& tag, BerReader& content)
{
    const uint8_t* tagByte = nullptr;
    if (!BerTake(reader, 1, tagByte)) {
        return false;
    }
    if ((*tagByte & kHighTagNumber) == kHighTagNumber) {
        return false;
    }
    size_t length = 0;
    if (!ReadLength(reader, length)) {
        return false;
    }
    const uint8_t* bytes = nullptr;
    if (!BerTake(reader, length, bytes)) {
        return false;
    }
    tag = *tagByte;
    content = BerReader{bytes, bytes + length};
    return true;
}

bool BerEnter(BerReader& reader, uint8_t expected, BerReader& content)
{
    uint8_t tag = 0;
    return BerReadItem(reader, tag, content) && tag == expected;
}

bool BerReadSigned(BerReader& reader, uint8_t expectedTag, int32_t& value)
{
    BerReader content{};
    return BerEnter(reader, expectedTag, content) && BerDecodeSigned(content, value);
}

bool BerReadUnsigned(BerReader& reader, uint8_t expectedTag, uint32_t& value)
{
    BerReader content{};
    return BerEnter(reader, expectedTag, content) && BerDecodeUnsigned(content, value);
}

bool BerDecodeSigned(BerReader content, int32_t& value)
{
    size_t size = 0;
    const uint8_t* bytes = TakeAll(content, size);
    if (size == 0) {
        return false;
    }
    // Bytes that only repeat the sign (X.690 forbids them, some agents send
    // them) change nothing; what is left must fit 32 bits.
    while (size > 1 && ((bytes[0] == 0x00 && (bytes[1] & 0x80) == 0) ||
                        (bytes[0] == 0xFF && (bytes[1] & 0x80) != 0))) {
        ++bytes;
        --size;
    }
    if (size > kMaxSignedContent) {
        return false;
    }
    uint32_t bits = (bytes[0] & 0x80) != 0 ? 0xFFFFFFFFu : 0u;
    for (size_t i = 0; i < size; ++i) {
        bits = (bits << 8) | bytes[i];
    }
    value = static_cast<int32_t>(bits);
    return true;
}

bool BerDecodeUnsigned(BerReader content, uint32_t& value)
{
    uint64_t wide = 0;
    if (!DecodeUnsignedOf(content, kMaxUnsignedContent, wide)) {
        return false;
    }
    value = static_cast<uint32_t>(wide);
    return true;
}

bool BerDecodeUnsigned64(BerReader content, uint64_t& value)
{
    return DecodeUnsignedOf(content, kMaxUnsigned64Content, value);
}

bool BerDecodeOid(BerReader content, AsnObjectIdentifier& oid)
{
    oid = AsnObjectIdentifier{0, nullptr};
    size_t size = 0;
    const uint8_t* bytes = TakeAll(content, size);
    if (size == 0 || (bytes[size - 1] & kMoreSubIdBytes) != 0) {
        return false;
    }
    // Count first so that the array is allocated once and never beyond the
    // longest identifier the layer accepts.
    size_t count = 1;
    for (size_t i = 0; i < size; ++i) {
        if ((bytes[i] & kMoreSubIdBytes) == 0) {
            ++count;
            if (count > kMaxOidLength) {
                return false;
            }
        }
    }
    auto* ids = static_cast<uint32_t*>(SnmpUtilMemAlloc(count * sizeof(uint32_t)));
    if (ids == nullptr) {
        return false;
    }
    size_t index = 0;
    uint64_t subId = 0;
    for (size_t i = 0; i < size; ++i) {
        subId = (subId << 7) | (bytes[i] & 0x7Fu);
        const uint64_t limit = index == 0 ? kMaxFirstSubId : kMaxSubId;
        if (subId > limit) {
            SnmpUtilMemFree(ids);
            return false;
        }
        if ((bytes[i] & kMoreSubIdBytes) != 0) {
            continue;
        }
        if (index == 0) {
            const uint32_t arc = subId < 40 ? 0 : (subId < 80 ? 1 : 2);
            ids[0] = arc;
            ids[1] = static_cast<uint32_t>(subId - 40u * arc);
            index = 2;
        } else {
            ids[index] = static_cast<uint32_t>(subId);
            ++index;
        }
        subId = 0;
    }
    oid.count = static_cast<uint32_t>(count);
    oid.ids = ids;
    return true;
}

bool BerDecodeValue(uint8_t tag, BerReader content, AsnAny& value)
{
    value = AsnAny{};
    value.tag = ASN_NULL;
    AsnAny decoded{};
    decoded.tag = tag;
    bool ok = false;
    switch (tag) {
    case ASN_INTEGER:
        ok = BerDecodeSigned(content, decoded.data.integer);
        break;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
        ok = BerDecodeUnsigned(content, decoded.data.unsigned32);
        break;
    case ASN_COUNTER64:
        ok = BerDecodeUnsigned64(content, decoded.data.counter64);
        break;
    case ASN_NULL:
    // RFC 3416 section 3: the exceptions are NULLs under their own tags.
    case ASN_NOSUCHOBJECT:
    case ASN_NOSUCHINSTANCE:
    case ASN_ENDOFMIBVIEW:
        ok = BerAtEnd(content);
        break;
    case ASN_OBJECTIDENTIFIER:
        ok = BerDecodeOid(content, decoded.data.object);
        break;
    default: {
        // Every other tag, known or not, keeps its content bytes as they came,
        // so that the caller can still show what the agent sent.
        size_t size = 0;
        const uint8_t* bytes = TakeAll(content, size);
        if (size > UINT32_MAX) {
            break;
        }
        decoded.data.bytes = AsnOctetString{nullptr, static_cast<uint32_t>(size), 0};
        if (size > 0) {
            auto* copy = static_cast<uint8_t*>(SnmpUtilMemAlloc(size));
            if (copy == nullptr) {
                break;
            }
            std::memcpy(copy, bytes, size);
            decoded.data.bytes.stream = copy;
            decoded.data.bytes.dynamic = 1;
        }
        ok = true;
        break;
    }
    }
    if (ok) {
        value = decoded;
    }
    return ok;
}
