// Which received datagram answers the request a session sent: the session
// asks the message model to take it apart, and judges the rest itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "message/message_model.h"

// What the answer must match: the message's pairing ID (msgID, or the
// request ID in the community versions), the PDU's request ID, and its
// binding count, exactly or (GETBULK) as the most it may hold; and whether a
// report less secure than the requests is taken (only for discovery, whose
// request is itself unauthenticated).
struct AwaitedAnswer {
    int32_t msgId;
    int32_t requestId;
    uint32_t bindingCount;
    bool countIsExact;
    bool takesUnprovenReport;
};

// An unproven report may be forged by anyone who saw the msgID go by.
enum class AnswerKind { NotAnswer, Response, Report, UnprovenReport };

// A Response in the model's version, under the request's security, with the
// awaited IDs and binding count; or, where the version has them, a Report to
// the awaited message, at any level (the agent could not read the request).
// Everything else is dropped: late answers to earlier requests, answers in
// another version or community, and datagrams that do not decode. On
// Response or a report `incoming` owns its PDU (FreeIncoming).
AnswerKind MatchAnswer(MessageModel& model, const AwaitedAnswer& awaited, const uint8_t* data,
                       size_t size, IncomingMessage& incoming);
