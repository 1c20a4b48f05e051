// The values that cross the manager interface (identifiers, values, binding
// lists) and the utility routines that allocate, copy, compare and release
// them. Pure memory: no sockets, no operating-system calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "values/last_error.h"
#include "values/wire_constants.h"

// A byte-string value (OCTET STRING, SEQUENCE, IpAddress, Opaque and any tag the
// layer does not know). `dynamic` nonzero: the bytes came from SnmpUtilMemAlloc
// and are released with the value.
struct AsnOctetString {
    uint8_t* stream;
    uint32_t length;
    int dynamic;
};

// An object identifier: `count` unsigned 32-bit sub-identifiers in `ids`
// (allocated with SnmpUtilMemAlloc, or null when count is 0).
struct AsnObjectIdentifier {
    uint32_t count;
    uint32_t* ids;
};

// One SNMP value: its tag and the field of `data` that the tag selects.
//   INTEGER                          -> integer
//   Counter, Gauge, TimeTicks        -> unsigned32
//   Counter64                        -> counter64
//   OBJECT IDENTIFIER                -> object
//   NULL, noSuchObject, noSuchInstance,
//   endOfMibView                     -> nothing
//   every other tag                  -> bytes
struct AsnAny {
    uint8_t tag;
    union {
        int32_t integer;
        uint32_t unsigned32;
        uint64_t counter64;
        AsnOctetString bytes;
        AsnObjectIdentifier object;
    } data;
};

struct SnmpVarBind {
    AsnObjectIdentifier name;
    AsnAny value;
};

// `count` bindings in `bindings` (allocated with SnmpUtilMemAlloc, or null).
struct SnmpVarBindList {
    SnmpVarBind* bindings;
    uint32_t count;
};

// True for the tags whose value lives in `data.bytes`.
bool AsnTagHoldsBytes(uint8_t tag);

// ---- Utility routines -------------------------------------------------------

// Zero-filled memory; null (last error ERROR_NOT_ENOUGH_MEMORY) when none can be had.
void* SnmpUtilMemAlloc(size_t size);
// With a null block it allocates. What a growth adds is zero-filled. On failure
// the old block is untouched and null is returned.
void* SnmpUtilMemReAlloc(void* block, size_t size);
void SnmpUtilMemFree(void* block);

// Deep copy of `from` into `to` (what `to` held is not released). 1 or 0.
int SnmpUtilOidCpy(AsnObjectIdentifier* to, const AsnObjectIdentifier* from);
// Frees the sub-identifiers and empties the identifier.
void SnmpUtilOidFree(AsnObjectIdentifier* oid);
// 0 only when both hold the same first n sub-identifiers; nonzero (negative
// or positive, in lexicographic order) otherwise, also when either is shorter than n.
int SnmpUtilOidNCmp(const AsnObjectIdentifier* a, const AsnObjectIdentifier* b, uint32_t n);

// Deep copy of `from` into `to`; what `to` held is not released. 1 or 0; on
// failure `to` is left empty and nothing of the copy is left allocated.
int SnmpUtilVarBindListCpy(SnmpVarBindList* to, const SnmpVarBindList* from);
// Frees each binding's name, OBJECT IDENTIFIER values, byte values marked
// dynamic, and the array; leaves the list empty.
void SnmpUtilVarBindListFree(SnmpVarBindList* list);
