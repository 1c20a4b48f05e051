// The JSON Lines layout of results and failures (the schema is stated in the
// manual page; a field is never renamed or retyped, new ones may be added).
#pragma once

#include <cstdint>
#include <string_view>

#include "snmp_api.h"

// One line per binding of a request command's result.
void PrintJsonBindings(const SnmpVarBindList* list);
// An error line; `index` is left out when negative.
void PrintJsonFailure(const char* error, const char* failureClass, int32_t index,
                      std::string_view message);
// The error status's name as RFC 3416 section 3 spells it ("noSuchName").
const char* JsonErrorStatusWord(int32_t errorStatus);
