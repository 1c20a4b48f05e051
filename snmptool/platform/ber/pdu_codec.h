// The PDU (RFC 1157 section 4.1, RFC 3416 section 3), coded once for every
// message that carries one: the community message of versions 1 and 2c and
// the scoped PDU of version 3.
//
//   PDU     ::= [tag] { request-id, error-status, error-index, bindings }
//   GetBulkRequest-PDU ::= [5] { request-id, non-repeaters,
//                                max-repetitions, bindings }
//   Trap-PDU ::= [4] { enterprise, agent-addr, generic-trap, specific-trap,
//                      time-stamp, bindings }
//   bindings ::= SEQUENCE OF SEQUENCE { name OBJECT IDENTIFIER, value }
//
// The decoder follows this fixed grammar and never descends into a value, so
// its nesting is bounded by construction (two levels above a value).
#pragma once

#include <cstddef>
#include <cstdint>

#include "ber/ber_reader.h"
#include "ber/ber_writer.h"
#include "values/snmp_values.h"

// One PDU. Which fields count depends on pduType:
//   GET, GETNEXT, SET, RESPONSE, InformRequest, SNMPv2-Trap, Report:
//       requestId, errorStatus, errorIndex
//   GetBulkRequest: requestId, then non-repeaters in errorStatus and
//       max-repetitions in errorIndex (the same places on the wire, RFC 3416 section 3)
//   Trap-PDU (v1): enterprise, agentAddress, genericTrap, specificTrap, timeStamp
// Every PDU carries bindings.
struct SnmpPdu {
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
void FreePdu(SnmpPdu& pdu);

// True for the PDU tags of RFC 1157 and RFC 3416.
bool IsKnownPdu(uint8_t tag);

// The sizes of the PDU's content and of its bindings' content, or false for
// what cannot be encoded (an unknown type, an identifier without encoding;
// see BerOidArcsOf).
struct BerPduSizes {
    size_t content;
    size_t bindings;
};
bool BerSizePdu(const SnmpPdu& pdu, BerPduSizes& sizes);

// Writes the whole PDU item with the sizes BerSizePdu gave.
void BerPutPdu(BerWriter& writer, const SnmpPdu& pdu, const BerPduSizes& sizes);

// Reads one PDU item from `reader`. On success `pdu` owns newly allocated
// enterprise and bindings; on any malformation nothing stays allocated and
// `pdu` is left empty.
bool BerReadPdu(BerReader& reader, SnmpPdu& pdu);

// The type and request ID of the PDU item at `reader`, read without
// allocating (0 for a Trap-PDU, which carries none); `reader` moves past the item.
bool BerPeekPdu(BerReader& reader, uint8_t& pduType, int32_t& requestId);
