// Builds the variable binding list that every request of a run carries: one
// binding per identifier word, with NULL values, or for set one binding per
// (identifier, type number, value) triple.
#include <cstdio>

#include "set_values.h"
#include "tool.h"

namespace {

// Frees everything built so far and leaves the list empty; every failure
// ends here so that the caller never owns half a list.
int FailBuild(SnmpVarBindList* list)
{
    SnmpUtilVarBindListFree(list);
    list->bindings = nullptr;
    list->count = 0;
    return 0;
}

}  // namespace

int BuildVarBindList(int count, char** words, uint8_t toolMode, SnmpVarBindList* list)
{
    list->bindings = nullptr;
    list->count = 0;
    int next = 0;
    while (count > 0) {
        // Grow by exactly one binding. The growth is zero-filled, so the new
        // binding holds nothing until it is filled and freeing the list at any
        // point below is safe.
        void* grown = SnmpUtilMemReAlloc(list->bindings, sizeof(SnmpVarBind) * (list->count + 1));
        if (grown == nullptr) {
            ReportSystemError("SnmpUtilMemReAlloc() Error", GetLastError());
            return FailBuild(list);
        }
        list->bindings = static_cast<SnmpVarBind*>(grown);
        SnmpVarBind* binding = &list->bindings[list->count];
        ++list->count;

        const char* identifier = words[next];
        // Cleared first so that only a code the conversion itself set is
        // reported, never one left over from an earlier call.
        SetLastError(0);
        AsnObjectIdentifier name = {0, nullptr};
        if (SnmpMgrStrToOid(identifier, &name) == 0) {
            const uint32_t code = GetLastError();
            ReportFailure({"unknownOid", FailureClass::Usage}, FailureStream::Output,
                          "mibcli: Error: Unknown or invalid OID specified (%s).\n", identifier);
            if (code != 0) {
                ReportSystemError("SnmpMgrStrToOid() Error", code);
            }
            return FailBuild(list);
        }
        binding->name = name;
        ++next;
        --count;

        if (toolMode != PDU_SET) {
            binding->value.tag = ASN_NULL;
            continue;
        }
        if (count == 0) {
            return FailBuild(list);
        }
        const uint32_t typeNumber = ParseDecimal(words[next]);
        ++next;
        --count;
        if (count == 0) {
            return FailBuild(list);
        }
        const SetValueResult parsed = ParseSetValue(typeNumber, words[next], &binding->value);
        if (parsed == SetValueResult::NoMemory) {
            ReportSystemError("SnmpUtilMemAlloc() Error", GetLastError());
            return FailBuild(list);
        }
        if (parsed == SetValueResult::BadValue) {
            ReportFailure({"badValue", FailureClass::Usage}, FailureStream::Output,
                          "mibcli: Invalid value for type %s: %s\n", SetTypeName(typeNumber),
                          words[next]);
            return FailBuild(list);
        }
        if (parsed == SetValueResult::BadType) {
            return FailBuild(list);
        }
        ++next;
        --count;
    }
    return 1;
}
