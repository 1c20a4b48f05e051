// The one place that decides between the two layouts for everything that is
// not a result: failures (text lines, or JSON error lines with the class of
// who is at fault) and the notes that only the text layout has (banner,
// headers, progress lines).
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "json_printer.h"
#include "os/system_error.h"
#include "tool.h"

namespace {

bool g_failureSaid = false;

const char* ClassWord(FailureClass failureClass)
{
    static constexpr const char* kWords[] = {"agent",   "timeout", "security",
                                             "network", "usage",   "local"};
    return kWords[static_cast<size_t>(failureClass)];
}

std::string FormatText(const char* format, va_list args)
{
    va_list again;
    va_copy(again, args);
    const int needed = vsnprintf(nullptr, 0, format, again);
    va_end(again);
    std::string text(needed > 0 ? static_cast<size_t>(needed) : 0, '\0');
    if (needed > 0) {
        vsnprintf(text.data(), text.size() + 1, format, args);
    }
    return text;
}

// What a failure line says: the text line without its surrounding blank
// lines and the program's name.
std::string MessageOf(std::string text)
{
    const size_t first = text.find_first_not_of('\n');
    const size_t last = text.find_last_not_of('\n');
    text = first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    constexpr std::string_view kPrefix = "mibcli: ";
    if (text.compare(0, kPrefix.size(), kPrefix) == 0) {
        text.erase(0, kPrefix.size());
    }
    return text;
}

struct CodeFailure {
    uint32_t code;
    Failure failure;
};

// The layer's codes (values/last_error.h) by who is at fault.
constexpr CodeFailure kCodeFailures[] = {
    {SNMP_MGMTAPI_TIMEOUT, {"timeout", FailureClass::Timeout}},
    {SNMP_MGMTAPI_SELECT_FDERRORS, {"socketError", FailureClass::Network}},
    {ERROR_NOT_ENOUGH_MEMORY, {"outOfMemory", FailureClass::Local}},
    {ERROR_UNKNOWN_HOST, {"unknownHost", FailureClass::Network}},
    {ERROR_AGENT_REFUSED, {"connectionRefused", FailureClass::Network}},
    {ERROR_AGENT_NO_ROUTE, {"noRoute", FailureClass::Network}},
    {ERROR_BAD_ARGUMENT, {"badArgument", FailureClass::Usage}},
    {ERROR_MESSAGE_TOO_BIG, {"requestTooBig", FailureClass::Usage}},
    {ERROR_BAD_TRAP_ADDRESS, {"badTrapAddress", FailureClass::Usage}},
    {ERROR_UNKNOWN_ZONE, {"unknownZone", FailureClass::Network}},
    {ERROR_USM_UNSUPPORTED_LEVEL, {"unsupportedSecurityLevel", FailureClass::Security}},
    {ERROR_USM_NOT_IN_TIME_WINDOW, {"notInTimeWindow", FailureClass::Security}},
    {ERROR_USM_UNKNOWN_USER, {"unknownUserName", FailureClass::Security}},
    {ERROR_USM_UNKNOWN_ENGINE, {"unknownEngineID", FailureClass::Security}},
    {ERROR_USM_WRONG_DIGEST, {"wrongDigest", FailureClass::Security}},
    {ERROR_USM_DECRYPTION, {"decryptionError", FailureClass::Security}},
    {ERROR_USM_OTHER_REPORT, {"reportReceived", FailureClass::Security}},
    {ERROR_USM_NO_ENGINE, {"noEngineID", FailureClass::Security}},
    {ERROR_USM_CRYPTO, {"cryptoFailure", FailureClass::Local}},
    {ERROR_USM_UNKNOWN_CONTEXT, {"unknownContext", FailureClass::Agent}},
    {ERROR_USM_UNAVAILABLE_CONTEXT, {"unavailableContext", FailureClass::Agent}},
};

struct ErrnoFailure {
    int errnoValue;
    Failure failure;
};

// Failed system calls: the network's doing, or ours.
constexpr ErrnoFailure kErrnoFailures[] = {
    {ECONNREFUSED, {"connectionRefused", FailureClass::Network}},
    {ENETUNREACH, {"noRoute", FailureClass::Network}},
    {EHOSTUNREACH, {"noRoute", FailureClass::Network}},
    {ENETDOWN, {"noRoute", FailureClass::Network}},
    {EADDRNOTAVAIL, {"addressNotAvailable", FailureClass::Network}},
    {ENOMEM, {"outOfMemory", FailureClass::Local}},
    {EADDRINUSE, {"addressInUse", FailureClass::Local}},
    {EACCES, {"permissionDenied", FailureClass::Local}},
};

}  // namespace

bool JsonOutput()
{
    return g_settings.jsonOutput;
}

Failure FailureOfCode(uint32_t code)
{
    // What an unauthenticated report claimed, when no authentic answer came:
    // the message tells that it is only a claim.
    if (code > ERROR_USM_UNPROVEN_BASE &&
        code <= ERROR_USM_UNPROVEN_BASE + ERROR_USM_UNAVAILABLE_CONTEXT) {
        code -= ERROR_USM_UNPROVEN_BASE;
    }
    for (const CodeFailure& entry : kCodeFailures) {
        if (entry.code == code) {
            return entry.failure;
        }
    }
    for (const ErrnoFailure& entry : kErrnoFailures) {
        if (SystemErrorCodeFromErrno(entry.errnoValue) == code) {
            return entry.failure;
        }
    }
    return {"systemError", FailureClass::Local};
}

void ReportFailure(Failure failure, FailureStream stream, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = FormatText(format, args);
    va_end(args);
    if (!JsonOutput()) {
        if (stream == FailureStream::Error) {
            PrintError("%s", text.c_str());
        } else {
            fputs(text.c_str(), stdout);
        }
        return;
    }
    g_failureSaid = true;
    PrintJsonFailure(failure.error, ClassWord(failure.cls), -1, MessageOf(text));
}

void ReportAgentError(int32_t errorStatus, int32_t errorIndex)
{
    g_failureSaid = true;
    PrintJsonFailure(JsonErrorStatusWord(errorStatus), ClassWord(FailureClass::Agent), errorIndex,
                     ErrorStatusName(errorStatus));
}

void ReportUsageEnd()
{
    if (JsonOutput() && !g_failureSaid) {
        ReportFailure({"badUsage", FailureClass::Usage}, FailureStream::Output,
                      "The command line does not make a command.");
    }
}

void EndResult()
{
    // Often enough for a person watching; rarely enough to cost nothing.
    constexpr auto kFlushInterval = std::chrono::milliseconds(100);
    static std::chrono::steady_clock::time_point s_lastFlush;
    if (!JsonOutput()) {
        return;  // the text layout leaves the flushing to stdio
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - s_lastFlush >= kFlushInterval) {
        fflush(stdout);
        s_lastFlush = now;
    }
}

void PrintNote(const char* format, ...)
{
    if (JsonOutput()) {
        return;
    }
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
}

void PrintErrorNote(const char* format, ...)
{
    if (JsonOutput()) {
        return;
    }
    va_list args;
    va_start(args, format);
    VPrintError(format, args);
    va_end(args);
}
