// Feeds arbitrary datagrams to the SNMPv3 decoders: the message, the scoped
// PDU (as a decrypted one would reach it), and the answer rules of a peer
// that knows its engine. What decodes must encode, and that encoding must
// decode and encode to the same bytes again.
#include <cstdint>
#include <vector>

#include "message/user_model.h"
#include "session/answer_match.h"
#include "fuzz_require.h"

namespace {

UserModel& Model()
{
    static UserModel* model = [] {
        auto* made = new UserModel;
        UsmUser user;
        user.name = "fuzz";
        user.auth = AuthProtocol::Sha1;
        user.authPassphrase = "fuzzing phrase";
        user.priv = PrivProtocol::Aes128;
        user.privPassphrase = "fuzzing phrase";
        Require(made->Init(std::move(user)));
        Require(UsmAdoptEngine(made->Peer(), {0x80, 0, 0x1f, 0x88, 4, 'f', 'u', 'z', 'z'}, 1, 100));
        return made;
    }();
    return *model;
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
        IncomingMessage answer;
        if (MatchAnswer(Model(), {message.msgId, 1, 1, false, false}, data, size, answer) !=
            AnswerKind::NotAnswer) {
            Model().ReportCode(answer);
            FreeIncoming(answer);
        }
    }
    std::vector<uint8_t> contextEngineId;
    std::string contextName;
    SnmpPdu pdu;
    if (DecodeScopedPdu(data, size, contextEngineId, contextName, pdu)) {
        FreePdu(pdu);
    }
    return 0;
}
