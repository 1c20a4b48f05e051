#include "misbehaviour.h"

#include <cstdint>

#include "wire_layout.h"

namespace {

constexpr int kNestingDepth = 10000;

// "name" or "name=N": the N, or kEvery without one.
bool ParseNth(const std::string& argument, uint32_t& out)
{
    uint64_t n = 0;
    if (argument.empty()) {
        out = Misbehaviour::kEvery;
        return true;
    }
    if (!ParseDecimal(argument, UINT32_MAX - 1, n) || n == 0) {
        return false;
    }
    out = static_cast<uint32_t>(n);
    return true;
}

}  // namespace

bool ParseMisbehaviour(const std::string& mode, Misbehaviour& b, std::string& why)
{
    size_t equals = mode.find('=');
    std::string name = mode.substr(0, equals);
    std::string argument = equals == std::string::npos ? "" : mode.substr(equals + 1);
    bool hasArgument = equals != std::string::npos;
    uint64_t n = 0;
    bool ok = true;
    if (name == "silent" && !hasArgument) {
        b.silent = true;
    } else if (name == "delay") {
        ok = ParseDecimal(argument, 600000, n);
        b.delayMs = static_cast<int>(n);
    } else if (name == "wrong-id-first" && !hasArgument) {
        b.wrongIdFirst = true;
    } else if (name == "other-port-first" && !hasArgument) {
        b.otherPortFirst = true;
    } else if (name == "malformed-first" && !hasArgument) {
        b.malformedFirst = true;
    } else if (name == "drop-first") {
        ok = ParseDecimal(argument, UINT32_MAX, n);
        b.dropFirst = static_cast<uint32_t>(n);
    } else if (name == "stuck-getnext") {
        ok = ParseNth(argument, b.stuckGetnext);
    } else if (name == "backwards-getnext") {
        ok = ParseNth(argument, b.backwardsGetnext);
    } else if (name == "error-at") {
        size_t colon = argument.rfind(':');
        Oid oid;
        ok = colon != std::string::npos && ParseOid(argument.substr(0, colon), oid) &&
             ParseDecimal(argument.substr(colon + 1), INT32_MAX, n);
        b.errorAt.emplace_back(oid, static_cast<int32_t>(n));
    } else if (name == "truncated" && !hasArgument) {
        b.truncated = true;
    } else if (name == "oversized") {
        ok = ParseDecimal(argument, kMaxSnmpMessageSize, n) && n > 0;
        b.oversized = static_cast<size_t>(n);
    } else if (name == "nested" && !hasArgument) {
        b.nested = true;
    } else if (name == "length-lying" && !hasArgument) {
        b.lengthLying = true;
    } else if (name == "wrong-pdu-type" && !hasArgument) {
        b.wrongPduType = true;
    } else if (name == "extra-binding" && !hasArgument) {
        b.extraBinding = true;
    } else if (name == "toobig-bulk") {
        ok = ParseDecimal(argument, INT32_MAX, n) && n > 0;
        b.tooBigBulk = static_cast<uint32_t>(n);
    } else if (name == "wrong-version" && !hasArgument) {
        b.wrongVersion = true;
    } else if (name == "missing-binding" && !hasArgument) {
        b.missingBinding = true;
    } else if (name == "junk-flood-first") {
        ok = ParseDecimal(argument, 1000000, n);
        b.junkFloodFirst = static_cast<uint32_t>(n);
    } else {
        why = "unknown behaviour '" + mode + "'";
        return false;
    }
    if (!ok) {
        why = "bad argument in behaviour '" + mode + "'";
    }
    return ok;
}

int32_t ErrorAtStatus(const Misbehaviour& behaviour, const std::vector<AgentObject>& names)
{
    for (const auto& [oid, status] : behaviour.errorAt) {
        for (const AgentObject& binding : names) {
            if (binding.name == oid) {
                return status;
            }
        }
    }
    return -1;
}

std::vector<uint8_t> JunkDatagram(uint32_t number)
{
    std::vector<uint8_t> junk = {'j', 'u', 'n', 'k', ' '};
    std::string text = std::to_string(number);
    junk.insert(junk.end(), text.begin(), text.end());
    return junk;
}

std::vector<std::vector<uint8_t>> DatagramsBefore(const Misbehaviour& behaviour, const Reply& reply,
                                                  const std::string& community,
                                                  const std::vector<uint8_t>& answer)
{
    std::vector<std::vector<uint8_t>> datagrams;
    for (uint32_t i = 0; i < behaviour.junkFloodFirst; ++i) {
        datagrams.push_back(JunkDatagram(i + 1));
    }
    if (behaviour.wrongIdFirst) {
        // An ID the manager did not use for this request: a late answer to an
        // earlier one looks like this.
        const auto otherId = static_cast<int32_t>(static_cast<uint32_t>(reply.requestId) + 1u);
        datagrams.push_back(ImpostorAnswer(reply, community, otherId));
    }
    if (behaviour.malformedFirst) {
        // The right answer, but with its outer length one short of its content.
        std::vector<uint8_t> bytes = answer;
        bytes.pop_back();
        datagrams.push_back(bytes);
    }
    return datagrams;
}

std::vector<uint8_t> ImpostorAnswer(const Reply& reply, const std::string& community,
                                   int32_t requestId)
{
    Reply impostor = reply;
    impostor.requestId = requestId;
    for (AgentObject& binding : impostor.bindings) {
        binding.value = AgentValue();
        binding.value.tag = ASN_OCTETSTRING;
        const std::string text = "impostor";
        binding.value.bytes.assign(text.begin(), text.end());
    }
    std::vector<uint8_t> bytes;
    EncodeReply(impostor, community, PDU_RESPONSE, bytes);
    return bytes;
}

std::vector<uint8_t> BendAnswer(const Misbehaviour& behaviour, const std::vector<uint8_t>& answer)
{
    if (behaviour.nested) {
        // SEQUENCE in SEQUENCE, deeper than any decoder should follow.
        std::vector<uint8_t> bytes = {ASN_NULL, 0};
        for (int level = 0; level < kNestingDepth; ++level) {
            std::vector<uint8_t> outer = {ASN_SEQUENCE};
            AppendLength(outer, bytes.size());
            outer.insert(outer.end(), bytes.begin(), bytes.end());
            bytes.swap(outer);
        }
        return bytes;
    }
    std::vector<uint8_t> bytes = answer;
    if (behaviour.lengthLying) {
        TlvSpan message;
        if (ReadTlv(bytes.data(), 0, bytes.size(), message)) {
            std::vector<uint8_t> lying = {bytes[0]};
            AppendLength(lying, message.contentLength + 100);
            lying.insert(lying.end(), bytes.begin() + static_cast<long>(message.contentOffset),
                         bytes.end());
            bytes.swap(lying);
        }
    }
    if (behaviour.truncated) {
        bytes.resize(bytes.size() / 2);
    }
    return bytes;
}

bool PadAnswer(Reply& reply, const std::string& community, size_t size, std::vector<uint8_t>& out)
{
    if (reply.bindings.empty()) {
        return false;
    }
    AgentValue& value = reply.bindings[0].value;
    value = AgentValue();
    value.tag = ASN_OCTETSTRING;
    value.bytes.assign(size, 'p');
    // The padding is sized for a request ID of four bytes, the most any takes,
    // so that its length does not change with the manager's random ID.
    const int32_t requestId = reply.requestId;
    reply.requestId = INT32_MAX;
    // The headers around the padding grow and shrink with it; a few rounds settle.
    for (int round = 0; round < 4; ++round) {
        if (!EncodeReply(reply, community, PDU_RESPONSE, out)) {
            return false;
        }
        long difference = static_cast<long>(size) - static_cast<long>(out.size());
        long padding = static_cast<long>(value.bytes.size()) + difference;
        if (padding < 0) {
            return false;
        }
        value.bytes.assign(static_cast<size_t>(padding), 'p');
    }
    reply.requestId = requestId;
    if (!EncodeReply(reply, community, PDU_RESPONSE, out) || out.size() > size || out.size() < 2 ||
        (out[1] & 0x80) == 0) {
        return false;
    }
    // A shorter ID is made up for by the message's length written with
    // leading zero bytes, which BER allows.
    const size_t missing = size - out.size();
    const size_t lengthBytes = (out[1] & 0x7F) + missing;
    out.insert(out.begin() + 2, missing, 0x00);
    out[1] = static_cast<uint8_t>(0x80 | lengthBytes);
    return lengthBytes <= 8;
}
