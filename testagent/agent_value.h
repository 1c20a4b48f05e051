// Values as the test agent keeps them, and their text form in object files and
// on the trap sender's command line (testagent/README.md lists the types).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "snmp_api.h"

using Oid = std::vector<uint32_t>;

struct AgentValue {
    uint8_t tag = ASN_NULL;
    int32_t integer = 0;
    uint32_t unsigned32 = 0;
    uint64_t counter64 = 0;
    Oid object;
    std::vector<uint8_t> bytes;
    // The value's content bytes are sent as they stand under `tag`, whatever the
    // tag (raw:NN): how odd lengths and odd tags reach the manager.
    bool raw = false;
};

// Decimal digits only, no sign, at most `limit`: the one number rule of the
// agent's command line, its object files and its value texts.
bool ParseDecimal(const std::string& text, uint64_t limit, uint64_t& out);

// Dotted decimal, with or without a leading ".", to an identifier. False for
// anything else (empty components, numbers over 32 bits, fewer than 2 or more
// than kMaxOidLength sub-identifiers).
bool ParseOid(const std::string& text, Oid& oid);
std::string OidToText(const Oid& oid);
// Lexicographic order of sub-identifiers: negative, 0 or positive.
int CompareOids(const Oid& a, const Oid& b);

// One TYPE and VALUE text (without the rw: prefix). False with `why` set on error.
bool ParseValue(const std::string& type, const std::string& text, AgentValue& value,
                std::string& why);

// A view of `value` for the codec: pointers into `value`, which must outlive it.
// A raw value of a tag that the codec encodes from a number goes out as an OCTET
// STRING of its bytes and the caller rewrites the tag byte on the wire.
AsnAny ValueView(const AgentValue& value);
// True when the encoded tag must be rewritten after encoding (see ValueView).
bool NeedsTagPatch(const AgentValue& value);

// The decoded value of a request, as the agent keeps it.
AgentValue ValueFromAsn(const AsnAny& any);

std::string HexBytes(const uint8_t* data, size_t size);
