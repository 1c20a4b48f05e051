// The names of error statuses: the words the text layout prints, and the
// RFC 3416 words the JSON output gives, one table each.
#include <array>

#include "json_printer.h"
#include "name_tables.h"
#include "tool.h"

namespace {

// The text layout's words for the error statuses of RFC 1157 section 4.1.1.
constexpr std::array<const char*, SNMP_ERROR_GENERR + 1> kErrorStatusNames = {
    "No Error",
    "Data is too big to return",
    "No such variable name",
    "Bad value sent",
    "Attempted writing to a read-only variable",
    "General error",
};

// Indexed by the error status: its name in RFC 3416 section 3.
constexpr std::array<const char*, SNMP_ERROR_INCONSISTENTNAME + 1> kStatusWords = {
    "noError",
    "tooBig",
    "noSuchName",
    "badValue",
    "readOnly",
    "genErr",
    "noAccess",
    "wrongType",
    "wrongLength",
    "wrongEncoding",
    "wrongValue",
    "noCreation",
    "inconsistentValue",
    "resourceUnavailable",
    "commitFailed",
    "undoFailed",
    "authorizationError",
    "notWritable",
    "inconsistentName",
};

}  // namespace

// The statuses that SNMPv2 adds (6 to 18) are printed by their RFC names.
const char* ErrorStatusName(int32_t status)
{
    const bool v1Status = status >= SNMP_ERROR_NOERROR && status <= SNMP_ERROR_GENERR;
    if (v1Status || !PrintedCapabilities().v2ErrorStatuses) {
        return NameOrUnknown(kErrorStatusNames, status);
    }
    return NameOrUnknown(kStatusWords, status);
}

const char* JsonErrorStatusWord(int32_t errorStatus)
{
    return NameOrUnknown(kStatusWords, errorStatus);
}
