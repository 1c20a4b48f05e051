// Parsing of the value word of a set triple (identifier, type number, value).
#pragma once

#include <cstdint>

#include "snmp_api.h"

enum class SetValueResult {
    Parsed,    // *value holds the value; its storage (if any) is owned by it
    BadType,   // no such type number, or one the session's version cannot carry
    BadValue,  // the value text does not say a value of the type
    NoMemory,  // the value's storage could not be allocated
};

// The type numbers that a set triple names: 1 to 8 as the usage text lists
// them, and 9 (Counter64) where the session's version can carry it.
enum : uint32_t {
    SET_TYPE_INTEGER = 1,
    SET_TYPE_OCTETSTRING = 2,
    SET_TYPE_OBJECTIDENTIFIER = 3,
    SET_TYPE_IPADDRESS = 4,
    SET_TYPE_COUNTER = 5,
    SET_TYPE_GAUGE = 6,
    SET_TYPE_TIMETICKS = 7,
    SET_TYPE_OPAQUE = 8,
    SET_TYPE_COUNTER64 = 9,
};

// Builds the value that `text` gives for the type number. On anything but
// Parsed, *value is left as a NULL value that holds no storage.
SetValueResult ParseSetValue(uint32_t typeNumber, const char* text, AsnAny* value);

// The type's name as the usage text lists it ("" outside 1 to 8).
const char* SetTypeName(uint32_t typeNumber);
