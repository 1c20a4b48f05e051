// The utility routines: allocation with zero-filled growth, and copying,
// comparing and releasing identifiers and binding lists.
#include <cstdlib>
#include <cstring>
#include <new>

#include "values/snmp_values.h"

namespace {

// Every block carries its size in front, so that a reallocation knows how much
// of the new block is growth to be zero-filled. The header keeps the payload
// aligned for any type.
struct alignas(std::max_align_t) BlockHeader {
    size_t size;
};

BlockHeader* HeaderOf(void* block)
{
    return static_cast<BlockHeader*>(block) - 1;
}

bool CopyBytes(AsnOctetString* to, const AsnOctetString* from)
{
    to->stream = nullptr;
    to->length = from->length;
    to->dynamic = 0;
    if (from->length == 0 || from->stream == nullptr) {
        to->length = from->stream == nullptr ? 0 : from->length;
        return true;
    }
    to->stream = static_cast<uint8_t*>(SnmpUtilMemAlloc(from->length));
    if (to->stream == nullptr) {
        return false;
    }
    std::memcpy(to->stream, from->stream, from->length);
    to->dynamic = 1;
    return true;
}

// Deep copy of one value; on failure nothing of it is left allocated.
bool CopyValue(AsnAny* to, const AsnAny* from)
{
    *to = *from;
    if (from->tag == ASN_OBJECTIDENTIFIER) {
        return SnmpUtilOidCpy(&to->data.object, &from->data.object) != 0;
    }
    if (AsnTagHoldsBytes(from->tag)) {
        return CopyBytes(&to->data.bytes, &from->data.bytes);
    }
    return true;
}

void FreeValue(AsnAny* value)
{
    if (value->tag == ASN_OBJECTIDENTIFIER) {
        SnmpUtilOidFree(&value->data.object);
    } else if (AsnTagHoldsBytes(value->tag) && value->data.bytes.dynamic) {
        SnmpUtilMemFree(value->data.bytes.stream);
        value->data.bytes.stream = nullptr;
        value->data.bytes.length = 0;
        value->data.bytes.dynamic = 0;
    }
}

}  // namespace

bool AsnTagHoldsBytes(uint8_t tag)
{
    switch (tag) {
    case ASN_INTEGER:
    case ASN_NULL:
    case ASN_OBJECTIDENTIFIER:
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_COUNTER64:
    case ASN_NOSUCHOBJECT:
    case ASN_NOSUCHINSTANCE:
    case ASN_ENDOFMIBVIEW:
        return false;
    default:
        return true;
    }
}

void* SnmpUtilMemAlloc(size_t size)
{
    if (size > SIZE_MAX - sizeof(BlockHeader)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* header = static_cast<BlockHeader*>(std::calloc(1, sizeof(BlockHeader) + size));
    if (header == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    header->size = size;
    return header + 1;
}

void* SnmpUtilMemReAlloc(void* block, size_t size)
{
    if (block == nullptr) {
        return SnmpUtilMemAlloc(size);
    }
    if (size > SIZE_MAX - sizeof(BlockHeader)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    BlockHeader* old = HeaderOf(block);
    const size_t oldSize = old->size;
    auto* header = static_cast<BlockHeader*>(std::realloc(old, sizeof(BlockHeader) + size));
    if (header == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    header->size = size;
    if (size > oldSize) {
        std::memset(reinterpret_cast<uint8_t*>(header + 1) + oldSize, 0, size - oldSize);
    }
    return header + 1;
}

void SnmpUtilMemFree(void* block)
{
    if (block != nullptr) {
        std::free(HeaderOf(block));
    }
}

int SnmpUtilOidCpy(AsnObjectIdentifier* to, const AsnObjectIdentifier* from)
{
    if (to == nullptr || from == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    to->count = 0;
    to->ids = nullptr;
    if (from->count == 0 || from->ids == nullptr) {
        return 1;
    }
    auto* ids = static_cast<uint32_t*>(SnmpUtilMemAlloc(size_t{from->count} * sizeof(uint32_t)));
    if (ids == nullptr) {
        return 0;
    }
    std::memcpy(ids, from->ids, size_t{from->count} * sizeof(uint32_t));
    to->ids = ids;
    to->count = from->count;
    return 1;
}

void SnmpUtilOidFree(AsnObjectIdentifier* oid)
{
    if (oid == nullptr) {
        return;
    }
    SnmpUtilMemFree(oid->ids);
    oid->ids = nullptr;
    oid->count = 0;
}

int SnmpUtilOidNCmp(const AsnObjectIdentifier* a, const AsnObjectIdentifier* b, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) {
        const bool aEnded = i >= a->count;
        const bool bEnded = i >= b->count;
        if (aEnded || bEnded) {
            // Both ended together: equal as far as they go, but shorter than n.
            if (aEnded && bEnded) {
                return -1;
            }
            return aEnded ? -1 : 1;
        }
        if (a->ids[i] != b->ids[i]) {
            return a->ids[i] < b->ids[i] ? -1 : 1;
        }
    }
    return 0;
}

int SnmpUtilVarBindListCpy(SnmpVarBindList* to, const SnmpVarBindList* from)
{
    if (to == nullptr || from == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    to->bindings = nullptr;
    to->count = 0;
    if (from->count == 0) {
        return 1;
    }
    SnmpVarBindList copy = {
        static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(size_t{from->count} * sizeof(SnmpVarBind))), 0};
    if (copy.bindings == nullptr) {
        return 0;
    }
    for (uint32_t i = 0; i < from->count; ++i) {
        SnmpVarBind& target = copy.bindings[i];
        const SnmpVarBind& source = from->bindings[i];
        // Count the binding before filling it: a half-made binding is zeroed
        // memory or holds only what succeeded, which the free below releases.
        copy.count = i + 1;
        if (!SnmpUtilOidCpy(&target.name, &source.name)) {
            SnmpUtilVarBindListFree(&copy);
            return 0;
        }
        if (!CopyValue(&target.value, &source.value)) {
            target.value.tag = ASN_NULL;
            SnmpUtilVarBindListFree(&copy);
            return 0;
        }
    }
    *to = copy;
    return 1;
}

void SnmpUtilVarBindListFree(SnmpVarBindList* list)
{
    if (list == nullptr) {
        return;
    }
    if (list->bindings != nullptr) {
        for (uint32_t i = 0; i < list->count; ++i) {
            SnmpUtilOidFree(&list->bindings[i].name);
            FreeValue(&list->bindings[i].value);
        }
        SnmpUtilMemFree(list->bindings);
    }
    list->bindings = nullptr;
    list->count = 0;
}
