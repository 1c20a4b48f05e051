// Any text given for an identifier: reading it never fails badly, and when it
// reads, the identifier's own text reads back to the same identifier.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "snmp_api.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    AsnObjectIdentifier oid = {0, nullptr};
    if (SnmpMgrStrToOid(text.c_str(), &oid) == 0) {
        return 0;
    }
    char* named = nullptr;
    if (SnmpMgrOidToStr(&oid, &named) == 0 || named == nullptr) {
        std::abort();
    }
    AsnObjectIdentifier back = {0, nullptr};
    if (SnmpMgrStrToOid(named, &back) == 0 || back.count != oid.count ||
        std::memcmp(back.ids, oid.ids, oid.count * sizeof(uint32_t)) != 0) {
        std::abort();
    }
    SnmpUtilMemFree(named);
    SnmpUtilOidFree(&back);
    SnmpUtilOidFree(&oid);
    return 0;
}
