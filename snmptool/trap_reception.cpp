// Trap reception: the traps that the layer queues are fetched one by one,
// printed, and everything a fetch returned is released. Two modes: waiting on
// the layer's event until Escape, or looking into the queue a set number of times.
#include <array>
#include <chrono>
#include <cstdio>
#include <string>

#include "os/os_services.h"
#include "json_printer.h"
#include "name_tables.h"
#include "tool.h"

namespace {

// How long one wait on the event lasts before Escape is looked at again.
constexpr uint32_t kListenWaitMs = 1000;
// The agent-addr line shows this many bytes of the address (an IPv4 address).
constexpr uint32_t kAgentAddressBytes = 4;

constexpr const char* kListeningLine = "\nmibcli: Listening for traps. Hit Escape to exit...";

// The listening line ends without a newline; a line printed after it on the
// way out must start on a line of its own.
bool g_errorLineOpen = false;

// Indexed by the generic-trap values of RFC 1157 section 4.1.6.
constexpr std::array<const char*, SNMP_TRAP_ENTERPRISESPECIFIC + 1> kGenericTrapNames = {
    "coldStart(0)",
    "warmStart(1)",
    "linkDown(2)",
    "linkUp(3)",
    "authenticationFailure(4)",
    "egpNeighborLoss(5)",
    "enterpriseSpecific(6)",
};

const char* GenericTrapName(int32_t genericTrap)
{
    return NameOrUnknown(kGenericTrapNames, genericTrap);
}

// What one fetch hands over, and the trap numbering of the routine.
//
// The list starts with a one-binding array of its own. A fetch puts the trap's
// bindings in its place without releasing it, so that array is released by
// EndFetching alone, and never through the list.
struct TrapFetch {
    SnmpVarBind* initial = nullptr;
    AsnObjectIdentifier enterprise{};
    AsnOctetString agentAddress{};
    int32_t genericTrap = 0;
    int32_t specificTrap = 0;
    uint32_t timeStamp = 0;
    SnmpVarBindList bindings{};
    TrapOrigin origin;
    uint32_t trapsReceived = 0;
    // Set when a trap could not be written out: reception must stop rather
    // than drop every later trap unseen.
    bool outputLost = false;
};

bool BeginFetching(TrapFetch& fetch)
{
    fetch.initial = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
    fetch.bindings = {fetch.initial, 0};
    return fetch.initial != nullptr;
}

void EndFetching(TrapFetch& fetch)
{
    SnmpUtilMemFree(fetch.initial);
    fetch.initial = nullptr;
    fetch.bindings = {};
}

void ReleaseTrap(TrapFetch& fetch)
{
    SnmpUtilOidFree(&fetch.enterprise);
    if (fetch.agentAddress.dynamic == 1) {
        SnmpUtilMemFree(fetch.agentAddress.stream);
    }
    fetch.agentAddress = {};
    if (fetch.bindings.bindings != fetch.initial) {
        SnmpUtilVarBindListFree(&fetch.bindings);
    }
    fetch.bindings = {};
}

// Takes the oldest waiting trap, if any, prints it after `receivedLine` (on
// standard error) and releases it. *code is the last-error code that the fetch
// left, read before printing can touch it: 0 or 44 unless the fetch failed.
bool TakeTrap(TrapFetch& fetch, const char* receivedLine, uint32_t* code)
{
    fetch.origin = TrapOrigin();
    const int taken = SnmpMgrGetTrapWithOrigin(&fetch.enterprise, &fetch.agentAddress,
                                               &fetch.genericTrap, &fetch.specificTrap,
                                               &fetch.timeStamp, &fetch.bindings, &fetch.origin);
    *code = GetLastError();
    if (taken != 1) {
        return false;
    }
    PrintErrorNote("%s", receivedLine);
    ++fetch.trapsReceived;
    PrintTrap(fetch.trapsReceived, &fetch.enterprise, &fetch.agentAddress, fetch.genericTrap,
              fetch.specificTrap, fetch.timeStamp, &fetch.bindings, &fetch.origin);
    ReleaseTrap(fetch);
    // Each trap goes out as it comes, and a trap that cannot be written ends
    // the fetching.
    if (!StdoutWritten()) {
        fetch.outputLost = true;
        return false;
    }
    return true;
}

// Ends reception that can no longer show what it receives; 0 for the caller.
int StopForLostOutput()
{
    ReportLostOutput(g_errorLineOpen);
    g_errorLineOpen = false;
    return 0;
}

bool IsFetchError(uint32_t code)
{
    return code != 0 && code != SNMP_MGMTAPI_NOTRAPS;
}

// Listen mode: takes every waiting trap and reports a fetch that failed.
void DrainForListener(TrapFetch& fetch)
{
    uint32_t code = 0;
    while (TakeTrap(fetch, "\nReceived Trap!", &code)) {
    }
    if (IsFetchError(code) && !fetch.outputLost) {
        ReportSystemError("ERROR: SnmpMgrGetTrap", code);
    }
}

// The JSON layout's words for the reasons of TrapDropReason.
constexpr const char* kDropReasons[TRAP_DROP_REASONS] = {
    "queue full",         "malformed datagram",         "failed check",
    "unknown user",       "unknown or unpinned engine", "wrong digest",
    "not in time window", "decryption error",           "unsupported security level"};
// Drop lines come at most once a second per reason.
constexpr auto kDropLineInterval = std::chrono::seconds(1);

struct DropsSaid {
    uint64_t counts[TRAP_DROP_REASONS] = {};
    std::chrono::steady_clock::time_point when[TRAP_DROP_REASONS] = {};
};

DropsSaid g_dropsSaid;

// JSON layout: a line for each reason with drops not yet told, once its
// interval has passed since its last line; all of them when `last`.
void ReportDrops(bool last)
{
    if (!JsonOutput()) {
        return;
    }
    uint64_t counts[TRAP_DROP_REASONS] = {};
    SnmpMgrTrapDropCounts(counts);
    const auto now = std::chrono::steady_clock::now();
    for (uint32_t reason = 0; reason < TRAP_DROP_REASONS; ++reason) {
        const bool due = last || now - g_dropsSaid.when[reason] >= kDropLineInterval;
        if (counts[reason] > g_dropsSaid.counts[reason] && due) {
            PrintJsonDropped(counts[reason] - g_dropsSaid.counts[reason], kDropReasons[reason]);
            g_dropsSaid.counts[reason] = counts[reason];
            g_dropsSaid.when[reason] = now;
        }
    }
}

// Reception goes on without them; the user should know why version 3
// notifications will not show.
void WarnOfUsersProblem()
{
    const char* problem = SnmpMgrTrapUsersProblem();
    if (problem != nullptr) {
        PrintError("mibcli: version 3 %s\n", problem);
    }
}

// One line for every version 3 notification dropped, by reason.
void SummariseDrops(const char* lineStart)
{
    uint64_t counts[TRAP_DROP_REASONS] = {};
    SnmpMgrTrapDropCounts(counts);
    std::string reasons;
    uint64_t total = 0;
    for (uint32_t reason = TRAP_DROP_UNKNOWN_USER; reason < TRAP_DROP_REASONS; ++reason) {
        if (counts[reason] != 0) {
            reasons += (total == 0 ? " (" : ", ") + std::to_string(counts[reason]) + " " +
                       kDropReasons[reason];
            total += counts[reason];
        }
    }
    const uint64_t evictions = SnmpMgrTrapEvictions();
    if (total == 0 && evictions == 0) {
        return;
    }
    std::string forgotten;
    if (evictions != 0) {
        forgotten = "; the keys of " + std::to_string(evictions) + " engine" +
                    (evictions == 1 ? " were" : "s were") + " forgotten to make room";
    }
    PrintError("%smibcli: %llu version 3 notification%s dropped%s%s.\n", lineStart,
               static_cast<unsigned long long>(total), total == 1 ? " was" : "s were",
               total == 0 ? "" : (reasons + ")").c_str(), forgotten.c_str());
}

}  // namespace

void PrintTrap(uint32_t trapNumber, const AsnObjectIdentifier* enterprise,
               const AsnOctetString* agentAddress, int32_t genericTrap, int32_t specificTrap,
               uint32_t timeStamp, const SnmpVarBindList* bindings, const TrapOrigin* origin)
{
    if (JsonOutput()) {
        PrintJsonTrap(
            {enterprise, agentAddress, genericTrap, specificTrap, timeStamp, bindings, origin});
        return;
    }
    printf("\nTrap Received: %u\n", trapNumber);
    fputs("   enterprise: ", stdout);
    if (enterprise != nullptr) {
        PrintDottedOid(enterprise);
    } else {
        fputc('\n', stdout);
    }
    // An address shorter than four bytes shows the missing ones as 0.
    uint8_t address[kAgentAddressBytes] = {};
    if (agentAddress != nullptr && agentAddress->stream != nullptr) {
        for (uint32_t i = 0; i < kAgentAddressBytes && i < agentAddress->length; ++i) {
            address[i] = agentAddress->stream[i];
        }
    }
    printf("   agent-addr: %u.%u.%u.%u\n", address[0], address[1], address[2], address[3]);
    printf(" generic-trap: %s\n", GenericTrapName(genericTrap));
    printf("specific-trap: %u\n", static_cast<uint32_t>(specificTrap));
    printf("   time-stamp: %u\n", timeStamp);
    printf("     varbinds: %u\n", bindings != nullptr ? bindings->count : 0);
    PrintVarBinds(bindings);
}

int ListenForTraps()
{
    PlatformEvent* event = nullptr;
    if (!SnmpMgrTrapListen(&event)) {
        const uint32_t code = GetLastError();
        if (code == SNMP_MGMTAPI_TRAP_DUPINIT) {
            return 1;
        }
        // Listening that never started, or that breaks off below, is a failure
        // the exit status must show, not the end of a quiet listen.
        ReportSystemError("ERROR: SnmpMgrTrapListen", code);
        return 0;
    }
    WarnOfUsersProblem();
    PrintErrorNote("%s", kListeningLine);
    g_errorLineOpen = !JsonOutput();

    TrapFetch fetch;
    for (;;) {
        const uint32_t wait = WaitForSingleObject(event, kListenWaitMs);
        if (wait == kEventWaitFailed) {
            ReportSystemError("ERROR: WaitForSingleObject", GetLastError());
            return 0;
        }
        if (wait != kEventTimedOut) {
            if (!BeginFetching(fetch)) {
                ReportSystemError("ERROR: SnmpUtilMemAlloc", GetLastError());
                return 0;
            }
            DrainForListener(fetch);
            if (!ResetEvent(event)) {
                ReportSystemError("ERROR: ResetEvent", GetLastError());
            }
            // A trap queued after the last fetch and before the reset would
            // otherwise wait for the next one to arrive.
            if (!fetch.outputLost) {
                DrainForListener(fetch);
            }
            EndFetching(fetch);
            if (fetch.outputLost) {
                return StopForLostOutput();
            }
            PrintErrorNote("%s", kListeningLine);
        }
        ReportDrops(false);
        if (EscapePressed()) {
            return 1;
        }
    }
}

int PollForTraps(uint32_t pollIntervalMs, uint32_t pollCount)
{
    PlatformEvent* event = nullptr;
    if (!SnmpMgrTrapListen(&event)) {
        const uint32_t code = GetLastError();
        // Reception that already runs in this process serves the polls as well.
        if (code != SNMP_MGMTAPI_TRAP_DUPINIT) {
            ReportSystemError("ERROR: SnmpMgrTrapListen", code);
            return 0;
        }
    } else {
        WarnOfUsersProblem();
    }

    TrapFetch fetch;
    BeginFetching(fetch);
    int result = 1;
    // Counted in 64 bits, so that a number of polls of 2^32 - 1 still ends.
    for (uint64_t poll = 1; poll <= pollCount; ++poll) {
        PrintErrorNote("mibcli: Polling for traps (poll %u). Hit Escape to exit...\n",
                       static_cast<uint32_t>(poll));
        for (;;) {
            uint32_t code = 0;
            const bool taken = TakeTrap(fetch, "Received Trap!\n", &code);
            if (fetch.outputLost) {
                result = StopForLostOutput();
                break;
            }
            if (IsFetchError(code)) {
                ReportSystemError("mibcli: Trap polling error", code);
                result = 0;
                break;
            }
            if (!taken) {
                break;
            }
        }
        if (result == 0) {
            break;
        }
        ReportDrops(false);
        if (poll != pollCount) {
            Sleep(pollIntervalMs);
        }
        if (EscapePressed()) {
            break;
        }
    }
    EndFetching(fetch);
    return result;
}

void EndTrapReception()
{
    const uint64_t dropped = SnmpMgrTrapStop();
    if (JsonOutput()) {
        ReportDrops(true);
        return;
    }
    const char* lineStart = g_errorLineOpen ? "\n" : "";
    if (dropped == 0) {
        SummariseDrops(lineStart);
        return;
    }
    if (dropped == 1) {
        PrintError("%smibcli: 1 trap was dropped because the receive queue was full.\n", lineStart);
    } else {
        PrintError("%smibcli: %llu traps were dropped because the receive queue was full.\n",
                   lineStart, static_cast<unsigned long long>(dropped));
    }
    SummariseDrops("");
}
