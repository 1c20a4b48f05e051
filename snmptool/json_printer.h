// The JSON Lines layout of results and failures (the schema is stated in the
// manual page; a field is never renamed or retyped, new ones may be added).
#pragma once

#include <cstdint>
#include <string_view>

#include "snmp_api.h"

// One line per binding of a request command's result, flushed; or not
// flushed, for a result that goes on (a walk's answer).
void PrintJsonBindings(const SnmpVarBindList* list);
void PrintJsonBindingLines(const SnmpVarBindList* list);
// An error line; `index` is left out when negative.
void PrintJsonFailure(const char* error, const char* failureClass, int32_t index,
                      std::string_view message);
// The error status's name as RFC 3416 section 3 spells it ("noSuchName").
const char* JsonErrorStatusWord(int32_t errorStatus);

// One received notification: its SNMPv1-shaped fields and where it came from.
struct TrapView {
    const AsnObjectIdentifier* enterprise;
    const AsnOctetString* agentAddress;
    int32_t genericTrap;
    int32_t specificTrap;
    uint32_t timeStamp;
    const SnmpVarBindList* bindings;
    const TrapOrigin* origin;  // may be null
};
void PrintJsonTrap(const TrapView& trap);
// `count` notifications dropped for `reason` since the last such line.
void PrintJsonDropped(uint64_t count, const char* reason);
