// The SNMP manager interface as the tool sees it: the shared value types and
// utility routines (values/snmp_values.h) and the manager routines (sessions,
// requests, names, traps). Every routine reports failure through its result and
// the calling thread's last-error code (values/last_error.h); none prints.
#pragma once

#include <cstddef>
#include <cstdint>

#include "message/capabilities.h"
#include "message/notification_drop.h"
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
// Ends reception (the tool calls it on the way out); prints nothing. Returns the
// number of traps dropped because the queue was full.
uint64_t SnmpMgrTrapStop();
// Reception's account since it last started, kept after it stopped: the
// datagrams dropped for `reason`, and the version 3 engines whose keys were
// forgotten to make room for others.
uint64_t SnmpMgrTrapDrops(NotificationDrop reason);
uint64_t SnmpMgrTrapEvictions();
// What version 3 reception cannot take and why ("notifications not taken:
// FILE: ..." for a users file refused, "informs not taken: ..." without a
// place for our engine's state), or null.
const char* SnmpMgrTrapUsersProblem();
