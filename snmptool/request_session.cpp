// The one road to an agent: the process-wide manager session, one request on
// it, the words for a request that got no answer; and the system error report
// that every failed platform call is reported through.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <string>

#include "os/system_error.h"
#include "security/usm_users.h"
#include "tool.h"

namespace {

// The text of a code must fit the 127-character buffer that the report has
// always used; a longer text is not printed at all.
constexpr size_t kMaxReportText = 126;

// The result for a failed request after which the layer left no code: a
// failure must never read as success (0) nor as a failed open (-1).
constexpr int kFailedWithoutCode = static_cast<int>(SNMP_MGMTAPI_AGENT_ERRORS);

constexpr int kOpenFailed = -1;

const char* NoResponseReason(uint32_t code)
{
    switch (code) {
    // A closed port or a missing route has always read as a time-out here.
    case SNMP_MGMTAPI_TIMEOUT:
    case ERROR_AGENT_REFUSED:
    case ERROR_AGENT_NO_ROUTE:
        return "Request timed out";
    case SNMP_MGMTAPI_SELECT_FDERRORS:
        return "Winsock socket descriptor error";
    default:
        return "Unknown";
    }
}

int FailedRequestResult(uint32_t code)
{
    const int result = static_cast<int>(code);
    if (result == 0 || result == kOpenFailed) {
        return kFailedWithoutCode;
    }
    return result;
}

// SNMPv3: the community word names the user, whose protocols and
// passphrases come from the users file; a user it does not list is refused.
// False when the file or the user is refused (said here, naming the file and
// line).
bool OpenUserSession(const char* agent, const char* name, uint32_t timeoutMs, uint32_t retries)
{
    UsmUser user;
    std::string problem;
    if (!FindUser(UsersFilePath(), name, user, problem)) {
        ReportFailure({"badUsersFile", FailureClass::Local}, FailureStream::Output, "mibcli: %s\n",
                      problem.c_str());
        return false;
    }
    g_session =
        SnmpMgrOpenUser(agent, &user, SessionTimeout(timeoutMs), static_cast<int32_t>(retries));
    const std::vector<uint8_t>& engine = g_settings.contextEngineId;
    if (g_session != nullptr && !SnmpMgrSetContext(g_session, engine.data(), engine.size(),
                                                   g_settings.contextName.c_str())) {
        SnmpMgrClose(g_session);
        g_session = nullptr;
    }
    return true;
}

}  // namespace

// The session takes signed milliseconds; a time-out above 2^31 - 1 (the
// number rule reads -1 as 4294967295) means "as long as can be", never 0.
int32_t SessionTimeout(uint32_t timeoutMs)
{
    return timeoutMs > INT32_MAX ? INT32_MAX : static_cast<int32_t>(timeoutMs);
}

std::string RequestFailureText(uint32_t code)
{
    // Refused before sending: waiting for an answer was never the problem.
    if (code == ERROR_MESSAGE_TOO_BIG) {
        return "Request not sent: it does not fit in one SNMP message.";
    }
    // SNMPv3: the agent's report of why it refused, or our side's failure.
    const char* reported = LastErrorText(code);
    if (code >= ERROR_USM_UNSUPPORTED_LEVEL && code <= ERROR_USM_UNAVAILABLE_CONTEXT &&
        reported != nullptr) {
        return reported;
    }
    // What an unauthenticated report claimed, once no authentic answer came.
    const char* claimed = LastErrorText(code - ERROR_USM_UNPROVEN_BASE);
    if (code > ERROR_USM_UNPROVEN_BASE && claimed != nullptr &&
        code <= ERROR_USM_UNPROVEN_BASE + ERROR_USM_UNAVAILABLE_CONTEXT) {
        return std::string("No authentic answer from the agent; an unauthenticated report, "
                           "which anyone could have sent, said: ") +
               claimed;
    }
    return std::string("No response from agent (") + NoResponseReason(code) + ").";
}

int DoRequest(const char* agent, const char* community, uint32_t timeoutMs, uint32_t retries,
              uint8_t pduType, SnmpVarBindList* list, int32_t* errorStatus, int32_t* errorIndex,
              SessionUse use)
{
    if (agent == nullptr || community == nullptr || list == nullptr || errorStatus == nullptr ||
        errorIndex == nullptr) {
        return 0;
    }
    // A single request gets a session of its own; the old one's close is not
    // worth reporting, since nothing of this request went through it.
    if (use == SessionUse::CloseAfter && g_session != nullptr) {
        SnmpMgrClose(g_session);
        g_session = nullptr;
    }
    if (g_session == nullptr) {
        if (RequestCapabilities().userSecurity) {
            if (!OpenUserSession(agent, community, timeoutMs, retries)) {
                return kOpenFailed;
            }
        } else {
            g_session = SnmpMgrOpenVersion(agent, community, SessionTimeout(timeoutMs),
                                           static_cast<int32_t>(retries), g_settings.version);
        }
        if (g_session == nullptr) {
            ReportSystemError("SnmpMgrOpen() Error", GetLastError());
            return kOpenFailed;
        }
    }

    int result = 0;
    if (!SnmpMgrRequest(g_session, pduType, list, errorStatus, errorIndex)) {
        const uint32_t code = GetLastError();
        result = FailedRequestResult(code);
        const Failure failure = FailureOfCode(code);
        // The too-big refusal has always gone to standard output, the others to standard error.
        if (code == ERROR_MESSAGE_TOO_BIG) {
            ReportFailure(failure, FailureStream::Output, "mibcli: %s\n",
                          RequestFailureText(code).c_str());
        } else {
            ReportFailure(failure, FailureStream::Error, "\nmibcli: %s\n",
                          RequestFailureText(code).c_str());
        }
        if (code == SNMP_MGMTAPI_TIMEOUT || code == ERROR_AGENT_REFUSED ||
            code == ERROR_AGENT_NO_ROUTE) {
            PrintErrorNote("\nVerify the IP address and community name are correct and try "
                           "pinging the host.\n");
        }
    }
    if (use == SessionUse::KeepOpen) {
        return result;
    }
    if (!SnmpMgrClose(g_session)) {
        ReportSystemError("SnmpMgrClose() Error", GetLastError());
    }
    g_session = nullptr;
    return result;
}

void ReportSystemError(const char* label, uint32_t code)
{
    const char* text = LastErrorText(code);
    const bool withText = text != nullptr && strlen(text) <= kMaxReportText;
    if (JsonOutput()) {
        ReportFailure(FailureOfCode(code), FailureStream::Output, "%s: %u: %s",
                      label != nullptr ? label : "", code, withText ? text : "");
        return;
    }
    if (label != nullptr) {
        printf("%s: %u\n", label, code);
    }
    if (withText) {
        printf("%s\n", text);
    }
}
