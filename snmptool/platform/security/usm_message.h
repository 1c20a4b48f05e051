// The SNMPv3 message (RFC 3412 section 6) with the user-based security
// model's parameters (RFC 3414 section 2.4) and the scoped PDU. Bytes and
// records only: the security processing is in usm_engine.
//
//   SNMPv3Message ::= SEQUENCE { msgVersion INTEGER (3),
//       msgGlobalData SEQUENCE { msgID, msgMaxSize, msgFlags OCTET STRING (1),
//                                msgSecurityModel INTEGER (3) },
//       msgSecurityParameters OCTET STRING (holding UsmSecurityParameters),
//       msgData CHOICE { plaintext ScopedPDU, encryptedPDU OCTET STRING } }
//   UsmSecurityParameters ::= SEQUENCE { engineID OCTET STRING, engineBoots,
//       engineTime, userName, authenticationParameters, privacyParameters }
//   ScopedPDU ::= SEQUENCE { contextEngineID, contextName, PDU }
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ber/pdu_codec.h"

// RFC 3411 section 5: SnmpSecurityModel 3 is the user-based model.
constexpr int32_t kUsmSecurityModel = 3;

// msgFlags bits (RFC 3412 section 6.4).
enum : uint8_t {
    kMsgFlagAuth = 0x01,
    kMsgFlagPriv = 0x02,
    kMsgFlagReportable = 0x04,
};

struct V3Message {
    int32_t msgId = 0;
    int32_t maxSize = 0;
    uint8_t flags = 0;
    int32_t securityModel = kUsmSecurityModel;

    std::vector<uint8_t> engineId;
    int32_t engineBoots = 0;
    int32_t engineTime = 0;
    std::string userName;
    std::vector<uint8_t> authParams;
    std::vector<uint8_t> privParams;

    // With kMsgFlagPriv the content of encryptedPDU; otherwise the whole
    // ScopedPDU item.
    std::vector<uint8_t> data;
};

// Encodes `message`; `authOffset` tells where the authentication parameters'
// bytes begin in `out`, so the caller can put the digest there.
bool EncodeV3Message(const V3Message& message, std::vector<uint8_t>& out, size_t& authOffset);

// Decodes a datagram; `authOffset` as for the encoder. Refuses anything but
// version 3 with the user-based model, and trailing bytes.
bool DecodeV3Message(const uint8_t* data, size_t size, V3Message& message, size_t& authOffset);

// Reads only the msgID of a version 3 datagram, without allocating: enough to
// drop a stale answer before taking it apart.
bool PeekV3MsgId(const uint8_t* data, size_t size, int32_t& msgId);

// The ScopedPDU item holding `pdu`.
bool EncodeScopedPdu(const std::vector<uint8_t>& contextEngineId, const std::string& contextName,
                     const SnmpPdu& pdu, std::vector<uint8_t>& out);

// Decodes a ScopedPDU item at the start of `data`; bytes after it are ignored
// (DES pads the plaintext to whole blocks). On success `pdu` owns its bindings (FreePdu).
bool DecodeScopedPdu(const uint8_t* data, size_t size, std::vector<uint8_t>& contextEngineId,
                     std::string& contextName, SnmpPdu& pdu);
