// The SNMP manager interface as the tool sees it: the shared value types and
// utility routines (values/snmp_values.h) and the manager routines (sessions,
// requests, names, traps). Every routine reports failure through its result and
// the calling thread's last-error code (values/last_error.h); none prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "message/capabilities.h"
#include "values/snmp_values.h"

// ---- Manager routines -------------------------------------------------------

struct SnmpMgrSession;

// Nonzero result: success. On failure the last-error code tells why.
// SnmpMgrOpen opens an SNMPv1 session; SnmpMgrOpenVersion one of the given
// community version, SNMP_VERSION_1 or SNMP_VERSION_2C (RFC 1901 community framing);
// SnmpMgrOpenUser an SNMPv3 one as `user` (security/usm_users.h), whose
// passphrases it takes over and wipes at the close.
SnmpMgrSession* SnmpMgrOpen(const char* agent, const char* community, int32_t timeoutMs,
                            int32_t retries);
SnmpMgrSession* SnmpMgrOpenVersion(const char* agent, const char* community, int32_t timeoutMs,
                                   int32_t retries, int32_t version);
struct UsmUser;
SnmpMgrSession* SnmpMgrOpenUser(const char* agent, UsmUser* user, int32_t timeoutMs,
                                int32_t retries);
// The context of an SNMPv3 session's requests (RFC 3411 section 3.3): the
// contextEngineID (`engineIdSize` 0: the agent's discovered engine, else a
// proxy's target) and contextName. Refused (ERROR_BAD_ARGUMENT) for a
// community version.
int SnmpMgrSetContext(SnmpMgrSession* session, const uint8_t* engineId, size_t engineIdSize,
                      const char* name);
// What the messages of a version can carry and do (null for a version no
// model serves), and what trap reception takes: asked instead of comparing
// version numbers.
const MessageCapabilities* SnmpMgrVersionCapabilities(int32_t version);
const MessageCapabilities& SnmpMgrTrapCapabilities();
// The version as users write it ("1", "2c", "3"); null for a version no model serves.
const char* SnmpMgrVersionWord(int32_t version);

// One request of PDU_GET, PDU_GETNEXT or PDU_SET, or where the session's
// version can bulk PDU_GETBULK; answered by a Response in the session's version (in
// SNMPv3 after discovering the agent's engine; a Report ends the request with
// its ERROR_USM_* code). On success
// the list holds the answer's bindings and the two integers its error status
// and index. For PDU_GETBULK the two integers carry non-repeaters and
// max-repetitions in (as the PDU carries them in the same places, RFC 3416
// section 3); an answer may hold fewer bindings than they allow, and bindings
// beyond what they allow are dropped.
int SnmpMgrRequest(SnmpMgrSession* session, uint8_t pduType, SnmpVarBindList* list,
                   int32_t* errorStatus, int32_t* errorIndex);
int SnmpMgrClose(SnmpMgrSession* session);
// The agent text as a session uses it: "host:port", an IPv6 host in
// brackets, the default port where the text names none; empty when the text
// is no agent address.
std::string SnmpMgrAgentText(const char* agent);

// A word naming an object (numbers and MIB names) to a new identifier.
int SnmpMgrStrToOid(const char* text, AsnObjectIdentifier* oid);
// Sets *text to a new NUL-terminated MIB name (SnmpUtilMemAlloc), or leaves it null.
int SnmpMgrOidToStr(const AsnObjectIdentifier* oid, char** text);

// Trap reception. The event is signalled while traps wait (os_services.h).
struct PlatformEvent;
int SnmpMgrTrapListen(PlatformEvent** event);
// 1 when the oldest waiting trap was taken; 0 with SNMP_MGMTAPI_NOTRAPS when none waits.
int SnmpMgrGetTrap(AsnObjectIdentifier* enterprise, AsnOctetString* agentAddress,
                   int32_t* genericTrap, int32_t* specificTrap, uint32_t* timeStamp,
                   SnmpVarBindList* bindings);
// Where and how a notification came, beside its SNMPv1-shaped fields; the
// fields name what version 3 fills as well.
struct TrapOrigin {
    std::string sender;        // "192.0.2.7:40123", "[2001:db8::7]:40123"
    int32_t version = 0;       // the message's version field (SNMP_VERSION_*)
    bool inform = false;       // an InformRequest, not a trap
    bool acked = false;        // an inform whose acknowledgement was sent
    std::string securityName;  // the community, or the user
    std::vector<uint8_t> engineId;
    std::string contextName;
    // snmpTrapOID.0; for an SNMPv1 trap, as RFC 3584 section 3.1 makes it.
    std::vector<uint32_t> trapOid;
};
// SnmpMgrGetTrap that also tells where the trap came from (into *origin,
// which may be null).
int SnmpMgrGetTrapWithOrigin(AsnObjectIdentifier* enterprise, AsnOctetString* agentAddress,
                             int32_t* genericTrap, int32_t* specificTrap, uint32_t* timeStamp,
                             SnmpVarBindList* bindings, TrapOrigin* origin);
// Ends reception (the tool calls it on the way out); prints nothing. Returns the
// number of traps dropped because the queue was full.
uint64_t SnmpMgrTrapStop();

// Why reception dropped a datagram or a notification.
enum TrapDropReason : uint32_t {
    TRAP_DROP_QUEUE_FULL = 0,
    TRAP_DROP_MALFORMED = 1,     // not a message that a version's model takes apart
    TRAP_DROP_FAILED_CHECK = 2,  // a message, but not a notification it could accept
    // Version 3 (RFC 3414 section 3.2), and engines that a user's pins leave out.
    TRAP_DROP_UNKNOWN_USER = 3,
    TRAP_DROP_UNKNOWN_ENGINE = 4,
    TRAP_DROP_WRONG_DIGEST = 5,
    TRAP_DROP_NOT_IN_TIME_WINDOW = 6,
    TRAP_DROP_DECRYPTION = 7,
    TRAP_DROP_UNSUPPORTED_LEVEL = 8,
    TRAP_DROP_REASONS = 9,
};
// How many were dropped for each reason since reception last started; the
// counts stay after SnmpMgrTrapStop.
void SnmpMgrTrapDropCounts(uint64_t (&counts)[TRAP_DROP_REASONS]);
// The version 3 engines whose keys were forgotten to make room for others,
// since reception last started.
uint64_t SnmpMgrTrapEvictions();
// What version 3 reception cannot take and why ("notifications not taken:
// FILE: ..." for a users file refused, "informs not taken: ..." without a
// place for our engine's state), or null.
const char* SnmpMgrTrapUsersProblem();
