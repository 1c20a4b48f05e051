// What a model without engines and reports answers.
#include "message/message_model.h"

bool MessageModel::SetContext(std::vector<uint8_t> /*engineId*/, std::string /*name*/)
{
    SetLastError(ERROR_BAD_ARGUMENT);
    return false;
}

bool MessageModel::PrepareDiscovery(std::vector<uint8_t>& /*out*/, int32_t& /*msgId*/)
{
    SetLastError(ERROR_BAD_ARGUMENT);
    return false;
}

uint32_t MessageModel::LearnEngine(const IncomingMessage& /*report*/)
{
    return ERROR_BAD_ARGUMENT;
}

uint32_t MessageModel::ReportCode(const IncomingMessage& /*report*/) const
{
    return ERROR_USM_OTHER_REPORT;
}

ReportRemedy MessageModel::RemedyFor(const IncomingMessage& /*report*/, uint32_t /*code*/)
{
    return ReportRemedy::GiveUp;
}

void FreeIncoming(IncomingMessage& incoming)
{
    FreePdu(incoming.pdu);
}
