// Sizes and writes of the BER items (X.690 section 8) that SNMP messages are
// made of, with minimal encodings throughout. A message is written in two
// passes: first every size is computed, then the items are written forward into
// a buffer of exactly that size, so no item is built apart and copied.
#pragma once

#include <cstddef>
#include <cstdint>

#include "values/snmp_values.h"

// An identifier as it goes on the wire: the first two sub-identifiers folded
// into one number (X.690 section 8.19.4), then the rest one by one.
struct BerOidArcs {
    uint64_t first;
    const uint32_t* rest;
    uint32_t restCount;
};

// Folds `oid` for the wire. Fewer than two sub-identifiers are taken as if
// zeros followed. False for what has no encoding: a first sub-identifier above
// 2, a second above 39 under 0 or 1, more than kMaxOidLength sub-identifiers.
bool BerOidArcsOf(const AsnObjectIdentifier& oid, BerOidArcs& arcs);

// The low `size` bytes of `value`, most significant first (the byte order of
// BER contents and of the security model's salts and IVs).
void PutBigEndian(uint8_t* at, uint64_t value, size_t size);

size_t BerItemSize(size_t contentSize);
size_t BerSignedContentSize(int32_t value);
size_t BerUnsignedContentSize(uint64_t value);
size_t BerOidContentSize(const BerOidArcs& arcs);
// False for a value that cannot be encoded (see BerOidArcsOf; bytes missing
// behind a nonzero length; a tag whose low five bits announce a longer tag).
bool BerValueContentSize(const AsnAny& value, size_t& size);

// Writes forward into [pos, end). A write that would pass `end` writes nothing
// and marks the writer failed; the caller checks `failed` once at the end.
struct BerWriter {
    uint8_t* pos;
    uint8_t* end;
    bool failed;
};

void BerPutHeader(BerWriter& writer, uint8_t tag, size_t contentSize);
void BerPutSigned(BerWriter& writer, uint8_t tag, int32_t value);
void BerPutUnsigned(BerWriter& writer, uint8_t tag, uint64_t value);
void BerPutBytes(BerWriter& writer, uint8_t tag, const uint8_t* bytes, size_t size);
void BerPutOid(BerWriter& writer, uint8_t tag, const BerOidArcs& arcs);
// Writes one value by its tag; a value BerValueContentSize refuses marks the
// writer failed.
void BerPutValue(BerWriter& writer, const AsnAny& value);
