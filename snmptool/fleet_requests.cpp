// One request to every agent of a list (get, getnext, set), and a poll of
// them: the same request in rounds, one every interval.
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "fleet_front.h"
#include "os/os_services.h"
#include "tool.h"

namespace {

struct AgentResult {
    uint32_t failure = 0;
    int32_t errorStatus = 0;
    int32_t errorIndex = 0;
    SnmpVarBindList bindings = {nullptr, 0};
};

class OneRequestEach : public FleetFront {
public:
    OneRequestEach(const AgentList& list, uint8_t pduType, const SnmpVarBindList& request)
        : FleetFront(list), pduType_(pduType), request_(request), results_(list.agents.size()),
          requested_(list.agents.size(), false)
    {
    }

    ~OneRequestEach() override
    {
        for (AgentResult& result : results_) {
            SnmpUtilVarBindListFree(&result.bindings);
        }
    }

    void NextRound()
    {
        std::fill(requested_.begin(), requested_.end(), false);
    }

    bool NextRequest(size_t agent, FleetAsk& ask) override
    {
        if (requested_[agent]) {
            return false;
        }
        requested_[agent] = true;
        ask = {pduType_, &request_, 0, 0};
        return true;
    }

    void Answered(size_t agent, SnmpPdu& answer) override
    {
        AgentResult& result = results_[agent];
        result = {0, answer.errorStatus, answer.errorIndex, answer.bindings};
        answer.bindings = {nullptr, 0};
        Complete(agent, Outcome::Answered);
    }

    void Failed(size_t agent, uint32_t code) override
    {
        results_[agent].failure = code;
        Complete(agent, code == SNMP_MGMTAPI_TIMEOUT ? Outcome::TimedOut : Outcome::Failed);
    }

private:
    void PrintBody(size_t agent) override
    {
        AgentResult& result = results_[agent];
        if (result.failure == 0) {
            PrintResponse(result.errorStatus, result.errorIndex, &result.bindings, true);
        } else {
            PrintFailure(result.failure);
        }
        SnmpUtilVarBindListFree(&result.bindings);
        result = AgentResult();
    }

    uint8_t pduType_;
    const SnmpVarBindList& request_;
    std::vector<AgentResult> results_;
    std::vector<bool> requested_;
};

// Every interval asks every agent once. A round that outlasts the interval
// starts the next one at once, said the first time only: rounds never pile up.
bool PollRounds(const char* agentWord, const AgentList& agents, FleetModels& models,
                OneRequestEach& rounds)
{
    const auto interval = std::chrono::milliseconds(g_settings.pollIntervalMs);
    bool saidLate = false;
    PrintNote("\nPolling Interval: %u milliseconds, Number of Polls: %u\n\n",
              g_settings.pollIntervalMs, g_settings.pollCount);
    PrintErrorNote("Polling %s using %s. Hit Escape to exit...\n\n", agentWord,
                   g_settings.pollWithGetNext ? "GETNEXT" : "GET");
    for (uint64_t poll = 1; poll <= g_settings.pollCount; ++poll) {
        const auto started = std::chrono::steady_clock::now();
        g_result.poll = static_cast<uint32_t>(poll);
        PrintNote("Poll %u:\n", static_cast<uint32_t>(poll));
        rounds.NextRound();
        if (!RunFleetExchange(agents, models, rounds)) {
            return false;
        }
        if (poll == g_settings.pollCount || rounds.Stopping()) {
            break;
        }
        fflush(stdout);
        const auto spent = std::chrono::steady_clock::now() - started;
        if (spent < interval) {
            Sleep(static_cast<uint32_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(interval - spent).count()));
        } else if (!saidLate) {
            saidLate = true;
            PrintError("mibcli: A poll took longer than the interval; the next ones start "
                       "late.\n");
        }
        if (rounds.Stopping()) {
            break;
        }
    }
    return true;
}

}  // namespace

bool IsFleetWord(const char* agent)
{
    return IsAgentList(agent);
}

bool AskFleet(const char* agent, const char* community, SnmpVarBindList* list)
{
    AgentList agents;
    if (!ExpandFleet(agent, agents)) {
        return false;
    }
    std::unique_ptr<FleetModels> models = MakeFleetModels(agents, community);
    if (models == nullptr) {
        return false;
    }
    if (g_toolMode == TOOL_MODE_WALK) {
        return WalkFleet(agents, *models, list->bindings[0].name);
    }
    const bool polling = g_toolMode == TOOL_MODE_POLL;
    uint8_t pduType = g_toolMode;
    if (polling) {
        pduType = g_settings.pollWithGetNext ? PDU_GETNEXT : PDU_GET;
    }
    OneRequestEach conversation(agents, pduType, *list);
    const bool ran = polling ? PollRounds(agent, agents, *models, conversation)
                             : RunFleetExchange(agents, *models, conversation);
    conversation.PrintSummary();
    return ran && conversation.AllAnswered();
}
