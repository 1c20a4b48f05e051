// One received trap in the fields of an SNMPv1 Trap-PDU (RFC 1157 section
// 4.1.6), whichever version the agent sent.
#pragma once

#include "transport/socket_types.h"

#include <cstddef>
#include <cstdint>

#include "ber/pdu_codec.h"
#include "snmp_api.h"

struct TrapRecord {
    AsnObjectIdentifier enterprise;  // SnmpUtilMemAlloc'd
    uint8_t agentAddress[4];
    int32_t genericTrap;
    int32_t specificTrap;
    uint32_t timeStamp;
    SnmpVarBindList bindings;  // SnmpUtilMemAlloc'd
    TrapOrigin* origin;        // new'd; null when none could be made
};

struct IncomingMessage;
// Where and how the notification of `message` came (null without memory).
TrapOrigin* NewTrapOrigin(const IncomingMessage& message, const sockaddr* sender,
                          socklen_t senderLength);

// Takes a decoded Trap-PDU, SNMPv2-Trap-PDU or InformRequest that came from `sender`. On
// success the trap owns what the PDU held (the PDU is left empty). On
// failure (another PDU type, a v2 trap that lacks sysUpTime.0 and snmpTrapOID.0
// as its first two bindings, no memory) nothing changes and the caller frees
// the PDU.
//
// SNMPv2 traps follow RFC 3584 section 3.2: the time stamp is sysUpTime.0; a
// snmpTrapOID.0 under snmpTraps (.1 to .6) gives generic 0 to 5, specific 0,
// enterprise snmpTrapEnterprise.0 or else snmpTraps; any other gives generic 6,
// specific its last sub-identifier, enterprise the rest without a trailing 0.
// The agent address is snmpTrapAddress.0 when present, else the sender's IPv4
// address (0.0.0.0 for a sender on IPv6). The bindings are all but the first
// two, in order; snmpTrapAddress.0 and snmpTrapEnterprise.0 stay among them, as
// the section keeps every other binding, so nothing that the agent sent is lost.
// A Counter64 binding, which section 3.2 would have the whole trap dropped
// for, is kept as it came and printed as a Counter64: losing the notification
// would be worse than showing a value that no SNMPv1 trap can carry.
bool TrapFromPdu(SnmpPdu& pdu, const sockaddr* sender, socklen_t senderLength, TrapRecord* trap);

// The memory the record takes: the record itself and every block it owns, each
// with what the allocator spends beside it. A datagram of many small bindings
// decodes to ten times its own size, so a bound on queued traps counts this.
size_t TrapRecordBytes(const TrapRecord& trap);

// Releases what the record owns and empties it.
void FreeTrapRecord(TrapRecord* trap);
