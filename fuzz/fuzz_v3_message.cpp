// Feeds arbitrary datagrams to the SNMPv3 decoders: the message, the scoped
// PDU (as a decrypted one would reach it), and the answer rules of a peer
// that knows its engine. What decodes must encode, and that encoding must
// decode and encode to the same bytes again.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "security/usm_engine.h"

namespace {

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

UsmPeer& Peer()
{
    static UsmPeer* peer = [] {
        auto* made = new UsmPeer;
        UsmUser user;
        user.name = "fuzz";
        user.auth = AuthProtocol::Sha1;
        user.authPassphrase = "fuzzing phrase";
        user.priv = PrivProtocol::Aes128;
        user.privPassphrase = "fuzzing phrase";
        Require(UsmPeerInit(*made, std::move(user)));
        Require(UsmAdoptEngine(*made, {0x80, 0, 0x1f, 0x88, 4, 'f', 'u', 'z', 'z'}, 1, 100));
        return made;
    }();
    return *peer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    V3Message message;
    size_t authOffset = 0;
    if (DecodeV3Message(data, size, message, authOffset)) {
        std::vector<uint8_t> first;
        size_t firstOffset = 0;
        Require(EncodeV3Message(message, first, firstOffset));
        V3Message decoded;
        size_t decodedOffset = 0;
        Require(DecodeV3Message(first.data(), first.size(), decoded, decodedOffset));
        std::vector<uint8_t> second;
        size_t secondOffset = 0;
        Require(EncodeV3Message(decoded, second, secondOffset));
        Require(second == first && secondOffset == firstOffset && decodedOffset == firstOffset);
        SnmpMessage pdu;
        UsmAnswerKind kind = UsmReadAnswer(Peer(), message.msgId, 1, data, size, message, pdu);
        if (kind != UsmAnswerKind::NotAnswer) {
            UsmReportCode(pdu);
            FreeMessage(pdu);
        }
    }
    std::vector<uint8_t> contextEngineId;
    SnmpMessage pdu;
    if (DecodeScopedPdu(data, size, contextEngineId, pdu)) {
        FreeMessage(pdu);
    }
    return 0;
}
