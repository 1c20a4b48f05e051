// Feeds arbitrary datagrams to the message decoder. Whatever decodes must
// encode again, decode again and encode to the same bytes a second time; the
// header peek must agree with the full decode.
#include <cstdint>
#include <vector>

#include "ber/ber_codec.h"
#include "fuzz_require.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int32_t version = 0;
    uint8_t pduType = 0;
    int32_t requestId = 0;
    const bool peeked = PeekMessageHeader(data, size, version, pduType, requestId);

    SnmpMessage message;
    if (!DecodeMessage(data, size, message)) {
        Require(message.pdu.bindings.bindings == nullptr && message.pdu.bindings.count == 0);
        Require(message.pdu.enterprise.ids == nullptr && message.community.empty());
        return 0;
    }
    Require(peeked && version == message.version && pduType == message.pdu.pduType &&
            requestId == message.pdu.requestId);

    std::vector<uint8_t> first;
    Require(EncodeMessage(message, first));
    SnmpMessage again;
    Require(DecodeMessage(first.data(), first.size(), again));
    std::vector<uint8_t> second;
    Require(EncodeMessage(again, second));
    Require(first == second);

    FreeMessage(again);
    FreeMessage(message);
    return 0;
}
