// Polling: the same request sent a set number of times at a fixed interval
// over one kept-open session, each response printed with its status.
#include <cstdio>

#include "os/os_services.h"
#include "tool.h"

int PollAgent(const char* agent, const char* community, uint32_t timeoutMs, uint32_t retries,
              uint32_t pollIntervalMs, uint32_t pollCount, SnmpVarBindList* list)
{
    if (agent == nullptr || community == nullptr || list == nullptr) {
        return 0;
    }

    uint8_t pduType = PDU_GET;
    const char* requestName = "GET";
    // GETNEXT replaces the names in the list with their successors, so every
    // poll starts again from a copy of the names the user gave.
    SnmpVarBindList saved{};
    const bool restoreEachPoll = g_settings.pollWithGetNext;
    if (restoreEachPoll) {
        pduType = PDU_GETNEXT;
        requestName = "GETNEXT";
        if (!SnmpUtilVarBindListCpy(&saved, list)) {
            ReportSystemError("SnmpUtilVarBindListCpy() Error", GetLastError());
            return 0;
        }
    }

    PrintErrorNote("Polling %s using %s. Hit Escape to exit...\n\n", agent, requestName);

    int result = 1;
    // Counted in 64 bits, so that a number of polls of 2^32 - 1 still ends.
    for (uint64_t poll = 1; poll <= pollCount; ++poll) {
        PrintNote("Poll %u:\n", static_cast<uint32_t>(poll));
        g_result.poll = static_cast<uint32_t>(poll);
        int32_t errorStatus = 0;
        int32_t errorIndex = 0;
        if (DoRequest(agent, community, timeoutMs, retries, pduType, list, &errorStatus,
                      &errorIndex, SessionUse::KeepOpen) != 0) {
            result = 0;
            break;
        }
        PrintResponse(errorStatus, errorIndex, list, true);
        if (poll != pollCount) {
            // The poll is complete: its lines go out now, not after the
            // interval, so that a reader of a pipe sees each poll as it comes
            // and a run killed during the interval loses none of them.
            fflush(stdout);
            Sleep(pollIntervalMs);
        }
        if (EscapePressed()) {
            break;
        }
        if (restoreEachPoll) {
            // The copy does not release what the list held: the response's
            // bindings are freed here, or a long poll would leak every one.
            SnmpUtilVarBindListFree(list);
            if (!SnmpUtilVarBindListCpy(list, &saved)) {
                ReportSystemError("SnmpUtilVarBindListCpy() Error", GetLastError());
                result = 0;
                break;
            }
        }
    }

    SnmpUtilVarBindListFree(&saved);
    return result;
}
