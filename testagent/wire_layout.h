// Finds where the parts of an encoded message lie, so that the agent can log
// the exact bytes of a request's values and bend its own answers (raw tags,
// hostile answers) after the codec has encoded them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct TlvSpan {
    size_t tagOffset = 0;      // where the tag byte is
    size_t contentOffset = 0;  // where the content begins
    size_t contentLength = 0;
};

// Reads the tag and length at `offset`, bounded by `end`, as the codec reads
// them (ber_reader.h). False when the header or the content it declares does
// not fit.
bool ReadTlv(const uint8_t* data, size_t offset, size_t end, TlvSpan& span);

// The value of each binding of a message (any PDU of RFC 1157 or an
// SNMPv2-Trap-PDU), in order. False when the bytes do not have that shape.
bool LocateBindingValues(const uint8_t* data, size_t size, std::vector<TlvSpan>& values);

// A definite length in BER: the short form, or 0x84 and four bytes.
void AppendLength(std::vector<uint8_t>& out, size_t length);
