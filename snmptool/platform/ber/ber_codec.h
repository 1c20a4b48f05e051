// BER encoding and decoding of whole SNMP messages (RFC 1157 section 4, RFC
// 3416 and RFC 1901 for SNMPv2c). Bytes and records only: no sockets here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "values/snmp_values.h"

// One message. Which fields count depends on pduType:
//   GET, GETNEXT, SET, RESPONSE, InformRequest, SNMPv2-Trap, Report:
//       requestId, errorStatus, errorIndex
//   GetBulkRequest: requestId, then non-repeaters in errorStatus and
//       max-repetitions in errorIndex (the same places on the wire, RFC 3416 section 3)
//   Trap-PDU (v1): enterprise, agentAddress, genericTrap, specificTrap, timeStamp
// Every PDU carries bindings.
struct SnmpMessage {
    int32_t version = SNMP_VERSION_1;
    std::string community;
    uint8_t pduType = PDU_GET;

    int32_t requestId = 0;
    int32_t errorStatus = 0;
    int32_t errorIndex = 0;

    AsnObjectIdentifier enterprise = {0, nullptr};  // SnmpUtilMemAlloc'd when decoded
    uint8_t agentAddress[4] = {0, 0, 0, 0};
    int32_t genericTrap = 0;
    int32_t specificTrap = 0;
    uint32_t timeStamp = 0;

    SnmpVarBindList bindings = {nullptr, 0};  // SnmpUtilMemAlloc'd when decoded
};

// Releases what a decode allocated (enterprise and bindings) and empties them.
void FreeMessage(SnmpMessage& message);

// Encodes the message into `out` (replacing its contents). Identifiers of fewer
// than two sub-identifiers are encoded as if a 0 followed. Values are encoded by
// their tag; a tag the codec does not know is encoded with its bytes as they
// stand. Returns false (last error ERROR_BAD_ARGUMENT) for what cannot be
// encoded, such as a first sub-identifier above 2.
bool EncodeMessage(const SnmpMessage& message, std::vector<uint8_t>& out);

// Decodes one datagram. Accepts versions 0 and 1, and the PDU types of both
// (GET, GETNEXT, RESPONSE, SET, Trap-PDU, GetBulk, Inform, SNMPv2-Trap, Report);
// which of them a version may carry is for the receiver to judge. On success the message owns
// newly allocated enterprise and bindings (FreeMessage releases them). On any
// malformation returns false, allocates nothing and leaves `message` empty.
bool DecodeMessage(const uint8_t* data, size_t size, SnmpMessage& message);

// Reads only the version, community, PDU type and request ID of a datagram,
// without allocating: enough to drop a stale answer before decoding it whole.
// False when the datagram does not begin like an SNMP message.
bool PeekMessageHeader(const uint8_t* data, size_t size, int32_t& version, uint8_t& pduType,
                       int32_t& requestId);
