// Minimal BER encodings (X.690 section 10.1 for lengths, 8.3 for integers,
// 8.19 for identifiers), sized first and then written forward.
#include "ber/ber_writer.h"

#include <cstring>

namespace {

constexpr uint8_t kHighTagNumber = 0x1F;
constexpr uint8_t kLongLength = 0x80;
constexpr uint8_t kMoreSubIdBytes = 0x80;
constexpr size_t kMaxShortLength = 0x7F;

// Hands out room for `count` bytes, or null (and the writer failed) when the
// buffer is too short: the one checked step of every write.
uint8_t* Reserve(BerWriter& writer, size_t count)
{
    if (writer.failed || count > static_cast<size_t>(writer.end - writer.pos)) {
        writer.failed = true;
        return nullptr;
    }
    uint8_t* at = writer.pos;
    writer.pos += count;
    return at;
}

size_t LengthSize(size_t length)
{
    size_t size = 1;
    if (length > kMaxShortLength) {
        for (size_t rest = length; rest != 0; rest >>= 8) {
            ++size;
        }
    }
    return size;
}

size_t Base128Size(uint64_t value)
{
    size_t size = 1;
    while (value > 0x7F) {
        value >>= 7;
        ++size;
    }
    return size;
}

uint8_t* PutBase128(uint8_t* at, uint64_t value)
{
    const size_t size = Base128Size(value);
    for (size_t i = size; i > 0; --i) {
        const uint8_t more = i == size ? 0 : kMoreSubIdBytes;
        at[i - 1] = static_cast<uint8_t>((value & 0x7F) | more);
        value >>= 7;
    }
    return at + size;
}

}  // namespace

void PutBigEndian(uint8_t* at, uint64_t value, size_t size)
{
    for (size_t i = size; i > 0; --i) {
        at[i - 1] = static_cast<uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

bool BerOidArcsOf(const AsnObjectIdentifier& oid, BerOidArcs& arcs)
{
    if (oid.count > kMaxOidLength || (oid.count > 0 && oid.ids == nullptr)) {
        return false;
    }
    const uint32_t first = oid.count > 0 ? oid.ids[0] : 0;
    const uint32_t second = oid.count > 1 ? oid.ids[1] : 0;
    // Under the arcs 0 and 1 the second sub-identifier must stay below 40, or
    // the folded number would read back under another arc (X.690 8.19.4).
    if (first > 2 || (first < 2 && second >= 40)) {
        return false;
    }
    arcs.first = uint64_t{first} * 40 + second;
    arcs.rest = oid.count > 2 ? oid.ids + 2 : nullptr;
    arcs.restCount = oid.count > 2 ? oid.count - 2 : 0;
    return true;
}

size_t BerItemSize(size_t contentSize)
{
    return 1 + LengthSize(contentSize) + contentSize;
}

size_t BerSignedContentSize(int32_t value)
{
    // Drop a leading byte while it and the next byte's top bit only repeat
    // the sign (X.690 section 8.3.2).
    const uint32_t bits = static_cast<uint32_t>(value);
    size_t size = 4;
    while (size > 1) {
        const uint32_t top9 = (bits >> (8 * size - 9)) & 0x1FFu;
        if (top9 != 0 && top9 != 0x1FFu) {
            break;
        }
        --size;
    }
    return size;
}

size_t BerUnsignedContentSize(uint64_t value)
{
    // Counter, Gauge, TimeTicks and Counter64 are non-negative INTEGERs on the
    // wire, so a value with its top bit set needs a leading zero byte.
    size_t size = 1;
    while (size < 8 && (value >> (8 * size)) != 0) {
        ++size;
    }
    if (((value >> (8 * size - 8)) & 0x80u) != 0) {
        ++size;
    }
    return size;
}

size_t BerOidContentSize(const BerOidArcs& arcs)
{
    size_t size = Base128Size(arcs.first);
    for (uint32_t i = 0; i < arcs.restCount; ++i) {
        size += Base128Size(arcs.rest[i]);
    }
    return size;
}

bool BerValueContentSize(const AsnAny& value, size_t& size)
{
    switch (value.tag) {
    case ASN_INTEGER:
        size = BerSignedContentSize(value.data.integer);
        return true;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
        size = BerUnsignedContentSize(value.data.unsigned32);
        return true;
    case ASN_COUNTER64:
        size = BerUnsignedContentSize(value.data.counter64);
        return true;
    case ASN_NULL:
    case ASN_NOSUCHOBJECT:
    case ASN_NOSUCHINSTANCE:
    case ASN_ENDOFMIBVIEW:
        size = 0;
        return true;
    case ASN_OBJECTIDENTIFIER: {
        BerOidArcs arcs{};
        if (!BerOidArcsOf(value.data.object, arcs)) {
            return false;
        }
        size = BerOidContentSize(arcs);
        return true;
    }
    default:
        if ((value.tag & kHighTagNumber) == kHighTagNumber) {
            return false;
        }
        if (value.data.bytes.length > 0 && value.data.bytes.stream == nullptr) {
            return false;
        }
        size = value.data.bytes.length;
        return true;
    }
}

void BerPutHeader(BerWriter& writer, uint8_t tag, size_t contentSize)
{
    const size_t lengthSize = LengthSize(contentSize);
    uint8_t* at = Reserve(writer, 1 + lengthSize);
    if (at == nullptr) {
        return;
    }
    at[0] = tag;
    if (lengthSize == 1) {
        at[1] = static_cast<uint8_t>(contentSize);
        return;
    }
    at[1] = static_cast<uint8_t>(kLongLength | (lengthSize - 1));
    PutBigEndian(at + 2, contentSize, lengthSize - 1);
}

void BerPutSigned(BerWriter& writer, uint8_t tag, int32_t value)
{
    const size_t size = BerSignedContentSize(value);
    BerPutHeader(writer, tag, size);
    uint8_t* at = Reserve(writer, size);
    if (at != nullptr) {
        PutBigEndian(at, static_cast<uint32_t>(value), size);
    }
}

void BerPutUnsigned(BerWriter& writer, uint8_t tag, uint64_t value)
{
    const size_t size = BerUnsignedContentSize(value);
    BerPutHeader(writer, tag, size);
    uint8_t* at = Reserve(writer, size);
    if (at != nullptr) {
        PutBigEndian(at, value, size);
    }
}

void BerPutBytes(BerWriter& writer, uint8_t tag, const uint8_t* bytes, size_t size)
{
    BerPutHeader(writer, tag, size);
    uint8_t* at = Reserve(writer, size);
    if (at != nullptr && size > 0) {
        std::memcpy(at, bytes, size);
    }
}

void BerPutOid(BerWriter& writer, uint8_t tag, const BerOidArcs& arcs)
{
    const size_t size = BerOidContentSize(arcs);
    BerPutHeader(writer, tag, size);
    uint8_t* at = Reserve(writer, size);
    if (at == nullptr) {
        return;
    }
    at = PutBase128(at, arcs.first);
    for (uint32_t i = 0; i < arcs.restCount; ++i) {
        at = PutBase128(at, arcs.rest[i]);
    }
}

void BerPutValue(BerWriter& writer, const AsnAny& value)
{
    switch (value.tag) {
    case ASN_INTEGER:
        BerPutSigned(writer, value.tag, value.data.integer);
        return;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
        BerPutUnsigned(writer, value.tag, value.data.unsigned32);
        return;
    case ASN_COUNTER64:
        BerPutUnsigned(writer, value.tag, value.data.counter64);
        return;
    case ASN_NULL:
    case ASN_NOSUCHOBJECT:
    case ASN_NOSUCHINSTANCE:
    case ASN_ENDOFMIBVIEW:
        BerPutHeader(writer, value.tag, 0);
        return;
    case ASN_OBJECTIDENTIFIER: {
        BerOidArcs arcs{};
        if (!BerOidArcsOf(value.data.object, arcs)) {
            writer.failed = true;
            return;
        }
        BerPutOid(writer, value.tag, arcs);
        return;
    }
    default: {
        size_t size = 0;
        if (!BerValueContentSize(value, size)) {
            writer.failed = true;
            return;
        }
        BerPutBytes(writer, value.tag, value.data.bytes.stream, size);
        return;
    }
    }
}
