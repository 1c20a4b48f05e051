#include "request_log.h"

#include <vector>

#include "agent_value.h"
#include "wire_layout.h"

namespace {

const char* PduName(uint8_t pduType)
{
    switch (pduType) {
    case PDU_GET:
        return "GET";
    case PDU_GETNEXT:
        return "GETNEXT";
    case PDU_SET:
        return "SET";
    case PDU_RESPONSE:
        return "RESPONSE";
    case PDU_TRAP_V1:
        return "TRAP";
    case PDU_TRAP_V2:
        return "TRAP2";
    case PDU_GETBULK:
        return "GETBULK";
    default:
        return "PDU";
    }
}

}  // namespace

std::string RequestLogLine(const SnmpMessage& request, const uint8_t* data, size_t size)
{
    std::string line = request.version == SNMP_VERSION_2C ? "v2c " : "";
    line += PduName(request.pdu.pduType);
    if (request.pdu.pduType == PDU_GETBULK) {
        line += ' ' + std::to_string(request.pdu.errorStatus) + '/' +
                std::to_string(request.pdu.errorIndex);
    }
    std::vector<TlvSpan> values;
    bool haveValues = request.pdu.pduType == PDU_SET && LocateBindingValues(data, size, values) &&
                      values.size() == request.pdu.bindings.count;
    for (uint32_t i = 0; i < request.pdu.bindings.count; ++i) {
        const AsnObjectIdentifier& name = request.pdu.bindings.bindings[i].name;
        line += ' ';
        for (uint32_t k = 0; k < name.count; ++k) {
            if (k > 0) {
                line += '.';
            }
            line += std::to_string(name.ids[k]);
        }
        if (haveValues) {
            const TlvSpan& value = values[i];
            line += ' ';
            line += HexBytes(data + value.tagOffset, 1);
            line += ' ';
            line += HexBytes(data + value.contentOffset, value.contentLength);
        }
    }
    return line;
}

void WriteLogLine(FILE* log, const std::string& line)
{
    if (log == nullptr) {
        return;
    }
    std::fputs(line.c_str(), log);
    std::fputc('\n', log);
    std::fflush(log);
}
