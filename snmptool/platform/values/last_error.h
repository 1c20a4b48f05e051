// The calling thread's last-error code, and a one-line text for every code the
// layer sets itself. Windows keeps such a code per thread already, under the
// same names: there the layer's code is the system's own (so that the system's
// headers and these can stand in one file), elsewhere it is kept here.
#pragma once

#include <cstdint>

#if defined(_WIN32)
// As the system declares them; a failed system call has set the code already.
extern "C" __declspec(dllimport) unsigned long __stdcall GetLastError(void);
extern "C" __declspec(dllimport) void __stdcall SetLastError(unsigned long code);
// The system's own code for it, defined as the system's error header does
// (a definition repeated word for word is no conflict).
#ifndef ERROR_NOT_ENOUGH_MEMORY
#define ERROR_NOT_ENOUGH_MEMORY __MSABI_LONG(8)
#endif
#else
uint32_t GetLastError();
void SetLastError(uint32_t code);
enum : uint32_t {
    ERROR_NOT_ENOUGH_MEMORY = 1001,
};
#endif

// Codes of the manager interface.
enum : uint32_t {
    SNMP_MGMTAPI_TIMEOUT = 40,          // no answer within the time-out and retries
    SNMP_MGMTAPI_SELECT_FDERRORS = 41,  // the socket failed while waiting
    SNMP_MGMTAPI_TRAP_DUPINIT = 43,     // trap reception already started
    SNMP_MGMTAPI_NOTRAPS = 44,          // no trap waiting
    SNMP_MGMTAPI_AGENT_ERRORS = 45,
};

// The layer's other failures. They stay clear of 40 to 48.
enum : uint32_t {
    ERROR_UNKNOWN_HOST = 1002,      // the agent's name did not resolve
    ERROR_BAD_ARGUMENT = 1003,      // a missing or malformed argument
    ERROR_MESSAGE_TOO_BIG = 1004,   // a request that does not fit one datagram
    ERROR_BAD_TRAP_ADDRESS = 1005,  // MIBCLI_TRAP_ADDRESS is not an address
    ERROR_UNKNOWN_ZONE = 1006,      // an IPv6 zone that names no interface
    ERROR_BAD_PORT = 1007,          // the agent's port is not 1 to 65535
    // No answer, and every try met the system's report that the agent's port
    // is closed, or that no route leads to its host.
    ERROR_AGENT_REFUSED = 1008,
    ERROR_AGENT_NO_ROUTE = 1009,
    // SNMPv3: what an agent's Report-PDU says (RFC 3414 section 3.2, RFC 3412
    // section 7.2), and the manager's own failures of the security model.
    ERROR_USM_UNSUPPORTED_LEVEL = 1101,    // usmStatsUnsupportedSecLevels
    ERROR_USM_NOT_IN_TIME_WINDOW = 1102,   // usmStatsNotInTimeWindows, also after the retry
    ERROR_USM_UNKNOWN_USER = 1103,         // usmStatsUnknownUserNames
    ERROR_USM_UNKNOWN_ENGINE = 1104,       // usmStatsUnknownEngineIDs, also after rediscovery
    ERROR_USM_WRONG_DIGEST = 1105,         // usmStatsWrongDigests
    ERROR_USM_DECRYPTION = 1106,           // usmStatsDecryptionErrors
    ERROR_USM_OTHER_REPORT = 1107,         // any other report
    ERROR_USM_NO_ENGINE = 1108,            // discovery answered without an engine ID
    ERROR_USM_CRYPTO = 1109,               // the cryptographic library failed
    ERROR_USM_UNKNOWN_CONTEXT = 1110,      // snmpUnknownContexts (RFC 3413 section 4.1.2)
    ERROR_USM_UNAVAILABLE_CONTEXT = 1111,  // snmpUnavailableContexts
    // No authentic answer came within the time-out and retries, but an
    // unauthenticated report did: this base plus the ERROR_USM_* code it claimed.
    ERROR_USM_UNPROVEN_BASE = 1200,
    // A failed system call: this base plus its errno value; the text is the
    // system's own (for example "Permission denied", "Address already in use").
    ERROR_SYSTEM_BASE = 10000,
};

// The one-line text of a code the layer sets itself, or null for any other
// (os/system_error.h has the words for every code).
const char* LayerErrorText(uint32_t code);
