// The tool's routines and the process-wide values they share.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "snmp_api.h"
#include "values/printf_check.h"

// Tool mode: the PDU type for get, getnext and set; these for the rest.
enum : uint8_t {
    TOOL_MODE_WALK = 1,
    TOOL_MODE_POLL = 2,
    TOOL_MODE_TRAP = 3,
};

// Tool settings, written by the options before the command runs.
struct ToolSettings {
    uint32_t timeoutMs = 3000;
    uint32_t retries = 3;
    uint32_t pollIntervalMs = 3000;
    uint32_t pollCount = 10;
    // The message version of the request sessions (-v): SNMP_VERSION_1,
    // SNMP_VERSION_2C or SNMP_VERSION_3. What it can do is asked of
    // RequestCapabilities. Trap reception takes versions 1 and 2c whatever it says.
    int32_t version = SNMP_VERSION_1;
    bool longWalk = false;
    bool trapPolling = false;
    bool pollWithGetNext = false;
    bool hexDump = false;     // -b: every byte of byte-string values in hex
    bool jsonOutput = false;  // -o json: JSON Lines instead of the labelled text
    // An agent list: the most requests in flight (-w), the most a second (-m,
    // 0 for no cap), and blocks in the order of completion (-s).
    uint32_t window = 512;
    uint32_t ratePerSecond = 0;
    bool completionOrder = false;
    // -c and -e: the version 3 requests' contextName and contextEngineID
    // (empty: the agent's own engine).
    bool contextGiven = false;
    std::string contextName;
    std::vector<uint8_t> contextEngineId;
};

extern ToolSettings g_settings;
extern uint8_t g_toolMode;
// The one manager session of the process; null when none is open.
extern SnmpMgrSession* g_session;

// What every JSON result line of a request command says besides its binding:
// the agent as used (address:port), the command word, and the poll's number
// (0 outside a poll).
struct ResultContext {
    std::string agent;
    const char* op = nullptr;
    uint32_t poll = 0;
};
extern ResultContext g_result;

// What the request sessions' version can do (-v).
const MessageCapabilities& RequestCapabilities();
// What the printed messages can carry, and so which types and error-status
// names the printer knows: the request sessions', or in trap reception, which
// takes every community version whatever -v says, what reception takes.
const MessageCapabilities& PrintedCapabilities();

// Entry and dispatch.
int ToolMain(int argc, char** argv);
int ConsoleCtrlHandler(uint32_t controlType);
bool EscapePressed();

// Number rule for option values, set types and set values: leading white space,
// one optional sign, decimal digits up to the first other character, modulo 2^32.
uint32_t ParseDecimal(const char* text);
// The same rule modulo 2^64, for Counter64 values.
uint64_t ParseDecimal64(const char* text);

// Command file.
int ReadCommandFile(const char* fileName, int* count, char*** words);

// Variable binding lists.
int BuildVarBindList(int count, char** words, uint8_t toolMode, SnmpVarBindList* list);

// Requests and the system error report. A single request gets a session of
// its own, closed after it; a poll or a walk keeps one open for all of its
// requests.
enum class SessionUse { CloseAfter, KeepOpen };
int DoRequest(const char* agent, const char* community, uint32_t timeoutMs, uint32_t retries,
              uint8_t pduType, SnmpVarBindList* list, int32_t* errorStatus, int32_t* errorIndex,
              SessionUse use);
void ReportSystemError(const char* label, uint32_t code);
// The session's time-out for the -t milliseconds.
int32_t SessionTimeout(uint32_t timeoutMs);
// What a request that failed with `code` is said to have met, without the
// "mibcli: " lead: "No response from agent (Request timed out)."
std::string RequestFailureText(uint32_t code);

// Agent lists: whether the agent word names many agents, and the request of
// the tool mode asked of each of them; true when every agent answered.
bool IsFleetWord(const char* agent);
bool AskFleet(const char* agent, const char* community, SnmpVarBindList* list);

// Output. Standard output is fully buffered when it is not a terminal; every
// write to standard error goes through PrintError, which flushes standard
// output first so that both streams keep the order of printing.
// The buffer of standard output when it is not a terminal.
constexpr size_t kStdoutBufferBytes = 64 * 1024;
void InitOutput();
void PrintError(const char* format, ...) PRINTF_FORMAT(1, 2);
void VPrintError(const char* format, va_list args);
// Flushes standard output; false when anything printed to it could not be
// written (a full disk, a closed pipe), now or earlier.
bool StdoutWritten();
// Says on standard error, on a line of its own, that results were lost.
void ReportLostOutput(bool lineOpen);

// Failures and notes, in the chosen layout (tool_report.cpp). A failure says
// who is at fault, for the JSON layout's `class`.
enum class FailureClass : uint8_t { Agent, Timeout, Security, Network, Usage, Local };
struct Failure {
    const char* error;  // one word: "timeout", "unknownHost", ...
    FailureClass cls;
};
enum class FailureStream { Output, Error };
bool JsonOutput();
// The failure behind one of the layer's last-error codes.
Failure FailureOfCode(uint32_t code);
// The text layout prints `format` to the stream (standard error through
// PrintError); the JSON layout writes an error line to standard output.
void ReportFailure(Failure failure, FailureStream stream, const char* format, ...)
    PRINTF_FORMAT(3, 4);
// JSON layout: an error status of the agent as an error line.
void ReportAgentError(int32_t errorStatus, int32_t errorIndex);
// JSON layout: a run that ended in the usage text says so on a line, unless
// a failure line already told why.
void ReportUsageEnd();
// JSON layout: a walk's answer is printed; its lines go out if the last
// flush is a while ago, so that a reader sees a long walk's progress without
// a write per answer. The text layout keeps its buffering.
void EndResult();
// Lines that only the text layout has, to standard output or standard error.
void PrintNote(const char* format, ...) PRINTF_FORMAT(1, 2);
void PrintErrorNote(const char* format, ...) PRINTF_FORMAT(1, 2);

// Result printer.
// The name of a response's error status ("General error"), "Unknown" outside the table.
const char* ErrorStatusName(int32_t errorStatus);
// The error status and index lines come first unless `withStatus` is false
// (a walk prints only bindings).
void PrintResponse(int32_t errorStatus, int32_t errorIndex, const SnmpVarBindList* list,
                   bool withStatus);
void PrintVarBinds(const SnmpVarBindList* list);
void PrintDottedOid(const AsnObjectIdentifier* oid);
// A type's name as the text layout spells it, for the version printed.
const char* TypeName(uint8_t tag);

// Poll and walk.
int PollAgent(const char* agent, const char* community, uint32_t timeoutMs, uint32_t retries,
              uint32_t pollIntervalMs, uint32_t pollCount, SnmpVarBindList* list);
int WalkMib(const char* agent, const char* community, uint32_t timeoutMs, uint32_t retries,
            SnmpVarBindList* list);

// Traps.
int ListenForTraps();
int PollForTraps(uint32_t pollIntervalMs, uint32_t pollCount);
// Called by the exit sequence: ends trap reception if it ran, and says on
// standard error how many traps were dropped because the queue was full.
void EndTrapReception();
// In the JSON layout the trap's number is not shown and `origin` (which may
// be null) is; the text layout shows only the SNMPv1-shaped fields.
void PrintTrap(uint32_t trapNumber, const AsnObjectIdentifier* enterprise,
               const AsnOctetString* agentAddress, int32_t genericTrap, int32_t specificTrap,
               uint32_t timeStamp, const SnmpVarBindList* bindings, const TrapOrigin* origin);
