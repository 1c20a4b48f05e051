// BER encoding and decoding of whole community messages (RFC 1157 section 4,
// RFC 1901): a version, a community and one PDU (ber/pdu_codec.h). Bytes and
// records only: no sockets here, and no judgement of the version, which is the
// message model's (message/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ber/pdu_codec.h"

struct SnmpMessage {
    int32_t version = SNMP_VERSION_1;
    std::string community;
    SnmpPdu pdu;
};

// Releases what a decode allocated (the PDU's enterprise and bindings).
void FreeMessage(SnmpMessage& message);

// Encodes the message into `out` (replacing its contents). Identifiers of fewer
// than two sub-identifiers are encoded as if a 0 followed. Values are encoded by
// their tag; a tag the codec does not know is encoded with its bytes as they
// stand. Returns false (last error ERROR_BAD_ARGUMENT) for what cannot be
// encoded, such as a first sub-identifier above 2.
bool EncodeMessage(const SnmpMessage& message, std::vector<uint8_t>& out);

// Decodes one datagram of the community framing, whatever its version number
// says, and the PDU types of every version (GET, GETNEXT, RESPONSE, SET,
// Trap-PDU, GetBulk, Inform, SNMPv2-Trap, Report); which of them a version may
// carry is for the receiver to judge. On success the message owns newly
// allocated enterprise and bindings (FreeMessage releases them). On any
// malformation returns false, allocates nothing and leaves `message` empty.
bool DecodeMessage(const uint8_t* data, size_t size, SnmpMessage& message);

// Reads only the version, PDU type and request ID of a datagram, without
// allocating: enough to drop a stale answer before decoding it whole. False
// when the datagram does not begin like a community message.
bool PeekMessageHeader(const uint8_t* data, size_t size, int32_t& version, uint8_t& pduType,
                       int32_t& requestId);
