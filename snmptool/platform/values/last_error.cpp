// The texts of the codes the layer sets.
#include "values/last_error.h"

namespace {

struct CodeText {
    uint32_t code;
    const char* text;
};

constexpr CodeText kTexts[] = {
    {SNMP_MGMTAPI_TIMEOUT, "The request timed out."},
    {SNMP_MGMTAPI_SELECT_FDERRORS, "The socket failed while waiting for the response."},
    {SNMP_MGMTAPI_TRAP_DUPINIT, "Trap reception has already been started."},
    {SNMP_MGMTAPI_NOTRAPS, "No trap is waiting."},
    {SNMP_MGMTAPI_AGENT_ERRORS, "The agent reported an error."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory is available."},
    {ERROR_UNKNOWN_HOST, "The agent's host name could not be resolved."},
    {ERROR_BAD_ARGUMENT, "An argument is missing or not valid."},
    {ERROR_MESSAGE_TOO_BIG, "The request does not fit in one SNMP message."},
    {ERROR_UNKNOWN_ZONE, "The zone of the IPv6 address names no network interface."},
    {ERROR_BAD_PORT, "The agent's port is not a number from 1 to 65535."},
    {ERROR_AGENT_REFUSED, "The agent's host refused the request: nothing listens on the port."},
    {ERROR_AGENT_NO_ROUTE, "No route leads to the agent's host."},
    {ERROR_BAD_TRAP_ADDRESS,
     "MIBCLI_TRAP_ADDRESS must be a port, an IPv4 address and port, or [IPv6 address]:port."},
    {ERROR_USM_UNSUPPORTED_LEVEL,
     "The agent does not allow this user the security level asked for."},
    {ERROR_USM_NOT_IN_TIME_WINDOW,
     "The agent's clock and ours still disagree after resynchronising."},
    {ERROR_USM_UNKNOWN_USER, "The agent does not know this user."},
    {ERROR_USM_UNKNOWN_ENGINE, "The agent does not accept its own engine ID as we learnt it."},
    {ERROR_USM_WRONG_DIGEST,
     "The agent rejected the authentication: wrong authentication protocol or passphrase."},
    {ERROR_USM_DECRYPTION,
     "The agent could not decrypt the request: wrong privacy protocol or passphrase."},
    {ERROR_USM_OTHER_REPORT, "The agent reported the request as not valid."},
    {ERROR_USM_NO_ENGINE, "The agent did not tell its engine ID."},
    {ERROR_USM_CRYPTO, "The cryptographic library failed."},
    {ERROR_USM_UNKNOWN_CONTEXT, "The agent does not know this context."},
    {ERROR_USM_UNAVAILABLE_CONTEXT, "The agent cannot serve this context now."},
};

}  // namespace

const char* LayerErrorText(uint32_t code)
{
    for (const CodeText& entry : kTexts) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    return nullptr;
}
