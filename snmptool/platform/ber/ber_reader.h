// A bounded cursor over received bytes and the checked reads of the BER items
// (X.690 section 8) that SNMP messages are made of. Nothing here reads outside
// [pos, end), and only BerDecodeOid and BerDecodeValue allocate.
#pragma once

#include <cstddef>
#include <cstdint>

#include "values/snmp_values.h"

struct BerReader {
    const uint8_t* pos;
    const uint8_t* end;
};

inline BerReader BerReaderOver(const uint8_t* data, size_t size)
{
    return BerReader{data, data + size};
}

inline size_t BerRemaining(const BerReader& reader)
{
    return static_cast<size_t>(reader.end - reader.pos);
}

inline bool BerAtEnd(const BerReader& reader)
{
    return reader.pos == reader.end;
}

// The one checked step every read goes through: hands out the next `count`
// bytes and moves past them, or fails without moving when fewer remain.
bool BerTake(BerReader& reader, size_t count, const uint8_t*& bytes);

// Reads one item's tag and definite length, and hands out its content as a
// reader of its own; `reader` moves past the whole item. Refuses indefinite
// lengths, multi-byte tags and a length beyond what remains.
bool BerReadItem(BerReader& reader, uint8_t& tag, BerReader& content);

// BerReadItem that also refuses any tag but `expected`.
bool BerEnter(BerReader& reader, uint8_t expected, BerReader& content);

// Item readers for the fixed fields of a message.
bool BerReadSigned(BerReader& reader, uint8_t expectedTag, int32_t& value);
bool BerReadUnsigned(BerReader& reader, uint8_t expectedTag, uint32_t& value);

// Content decoders: `content` is exactly the content bytes of one item.
bool BerDecodeSigned(BerReader content, int32_t& value);
bool BerDecodeUnsigned(BerReader content, uint32_t& value);
// Counter64 (RFC 2578 section 7.1.10): like BerDecodeUnsigned, 64 bits wide.
bool BerDecodeUnsigned64(BerReader content, uint64_t& value);

// Decodes an OBJECT IDENTIFIER's content into a new SnmpUtilMemAlloc'd array.
// On failure nothing is allocated and `oid` is left empty.
bool BerDecodeOid(BerReader content, AsnObjectIdentifier& oid);

// Decodes one value of any tag into `value`; byte values get their own
// SnmpUtilMemAlloc'd copy. On failure nothing is allocated and `value` is NULL.
bool BerDecodeValue(uint8_t tag, BerReader content, AsnAny& value);
