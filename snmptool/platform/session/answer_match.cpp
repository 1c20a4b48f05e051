// The answer rules of every version in one place.
#include "session/answer_match.h"

AnswerKind MatchAnswer(MessageModel& model, const AwaitedAnswer& awaited, const uint8_t* data,
                       size_t size, IncomingMessage& incoming)
{
    const bool reports = model.Capabilities().reports;
    MessageHeader header{};
    // The header alone settles most strangers without allocating anything.
    if (!model.Peek(data, size, header) || header.msgId != awaited.msgId) {
        return AnswerKind::NotAnswer;
    }
    const bool encrypted = header.pduType == 0;
    if (!encrypted && header.pduType != PDU_RESPONSE &&
        !(reports && header.pduType == PDU_REPORT)) {
        return AnswerKind::NotAnswer;
    }
    if (!model.TakeApart(data, size, incoming)) {
        return AnswerKind::NotAnswer;
    }
    const SnmpPdu& pdu = incoming.pdu;
    if (incoming.msgId == awaited.msgId) {
        if (reports && pdu.pduType == PDU_REPORT) {
            return awaited.takesUnprovenReport || model.ProvesReport(incoming)
                       ? AnswerKind::Report
                       : AnswerKind::UnprovenReport;
        }
        // RFC 1157 section 4.1: a GetResponse carries the request's bindings,
        // one for one, also with an error status. An answer with more or
        // fewer cannot be matched to what was asked (a walk would ask for
        // names nobody named). A GETBULK answer may hold fewer than the
        // most; more are dropped later.
        const bool countFits = !awaited.countIsExact || pdu.bindings.count == awaited.bindingCount;
        if (pdu.pduType == PDU_RESPONSE && pdu.requestId == awaited.requestId && countFits &&
            model.UnderRequestSecurity(incoming)) {
            return AnswerKind::Response;
        }
    }
    FreeIncoming(incoming);
    return AnswerKind::NotAnswer;
}
