// A request to every agent of a list: one block of results per agent, headed
// by its address, in the order of the list (or of completion with -s), and a
// summary on standard error of what became of them.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "message/dispatcher.h"
#include "session/agent_list.h"
#include "session/fleet_exchange.h"
#include "tool.h"

namespace {

struct AgentResult {
    bool done = false;
    uint32_t failure = 0;
    int32_t errorStatus = 0;
    int32_t errorIndex = 0;
    SnmpVarBindList bindings = {nullptr, 0};
};

struct Tally {
    size_t answered = 0;
    size_t timedOut = 0;
    size_t failed = 0;
};

const char* ListFaultText(AgentListFault fault)
{
    switch (fault) {
    case AgentListFault::Unresolved:
        return "Agent list item does not resolve";
    case AgentListFault::Unreadable:
        return "Agent list file cannot be read";
    case AgentListFault::TooMany:
        return "Agent list holds more than 1000000 agents, at";
    case AgentListFault::OutOfMemory:
        return "Agent list does not fit in memory";
    default:
        return "Agent list item not understood";
    }
}

class OneRequestEach : public FleetConversation {
public:
    OneRequestEach(const AgentList& list, uint8_t pduType, const SnmpVarBindList& request)
        : list_(list), pduType_(pduType), request_(request), results_(list.agents.size()),
          asked_(list.agents.size(), false)
    {
    }

    ~OneRequestEach() override
    {
        for (AgentResult& result : results_) {
            SnmpUtilVarBindListFree(&result.bindings);
        }
    }

    bool NextRequest(size_t agent, uint8_t& pduType, const SnmpVarBindList*& bindings) override
    {
        if (asked_[agent]) {
            return false;
        }
        asked_[agent] = true;
        pduType = pduType_;
        bindings = &request_;
        return true;
    }

    void Answered(size_t agent, SnmpPdu& answer) override
    {
        AgentResult& result = results_[agent];
        result.errorStatus = answer.errorStatus;
        result.errorIndex = answer.errorIndex;
        result.bindings = answer.bindings;
        answer.bindings = {nullptr, 0};
        ++tally_.answered;
        Complete(agent);
    }

    void Failed(size_t agent, uint32_t code) override
    {
        results_[agent].failure = code;
        ++(code == SNMP_MGMTAPI_TIMEOUT ? tally_.timedOut : tally_.failed);
        Complete(agent);
    }

    bool Stopping() override
    {
        return EscapePressed();
    }

    const Tally& Counts() const
    {
        return tally_;
    }

private:
    void Complete(size_t agent)
    {
        results_[agent].done = true;
        if (g_settings.completionOrder) {
            PrintBlock(agent);
            return;
        }
        // Blocks wait for those before them in the list, and go once they can.
        while (nextToPrint_ < results_.size() && results_[nextToPrint_].done) {
            PrintBlock(nextToPrint_++);
        }
    }

    void PrintBlock(size_t agent)
    {
        AgentResult& result = results_[agent];
        printf("Agent: %s\n", AgentLabel(list_.agents[agent].address).c_str());
        if (result.failure == 0) {
            PrintResponse(result.errorStatus, result.errorIndex, &result.bindings, true);
        } else {
            printf("mibcli: %s\n\n", RequestFailureText(result.failure).c_str());
        }
        SnmpUtilVarBindListFree(&result.bindings);
    }

    const AgentList& list_;
    uint8_t pduType_;
    const SnmpVarBindList& request_;
    std::vector<AgentResult> results_;
    std::vector<bool> asked_;
    size_t nextToPrint_ = 0;
    Tally tally_;
};

// Each community of the list gets its model, the command's own first.
bool MakeModels(const AgentList& list, const char* community,
                std::vector<std::unique_ptr<MessageModel>>& models)
{
    for (size_t i = 0; i < list.communities.size(); ++i) {
        const char* word = i == 0 ? community : list.communities[i].c_str();
        models.push_back(MakeCommunityModel(g_settings.version, word));
        if (models.back() == nullptr) {
            ReportSystemError("SnmpMgrOpen() Error", GetLastError());
            return false;
        }
    }
    return true;
}

// Refused whole, naming the item, before anything is sent.
bool ExpandFleet(const char* agent, AgentList& list)
{
    AgentListProblem problem;
    if (ExpandAgentList(agent, list, problem)) {
        return true;
    }
    printf("mibcli: %s: %s\n", ListFaultText(problem.fault), problem.item.c_str());
    return false;
}

}  // namespace

bool IsFleetWord(const char* agent)
{
    return IsAgentList(agent);
}

bool AskFleet(const char* agent, const char* community, SnmpVarBindList* list)
{
    if (RequestCapabilities().userSecurity || g_toolMode == TOOL_MODE_WALK ||
        g_toolMode == TOOL_MODE_POLL) {
        printf("mibcli: An agent list takes get, getnext and set in versions 1 and 2c.\n");
        return false;
    }
    AgentList agents;
    if (!ExpandFleet(agent, agents)) {
        return false;
    }
    std::vector<std::unique_ptr<MessageModel>> owned;
    if (!MakeModels(agents, community, owned)) {
        return false;
    }
    std::vector<MessageModel*> models;
    for (const std::unique_ptr<MessageModel>& model : owned) {
        models.push_back(model.get());
    }
    FleetSettings settings;
    settings.timeout = std::chrono::milliseconds(SessionTimeout(g_settings.timeoutMs));
    settings.retries = static_cast<int32_t>(std::min<uint32_t>(g_settings.retries, INT32_MAX));
    settings.window = g_settings.window;
    settings.ratePerSecond = g_settings.ratePerSecond;
    OneRequestEach conversation(agents, g_toolMode, *list);
    const bool ran = ExchangeWithFleet(agents, models, settings, conversation);
    if (!ran) {
        ReportSystemError("SnmpMgrRequest() Error", GetLastError());
    }
    const Tally& tally = conversation.Counts();
    PrintError("mibcli: %zu agents asked, %zu answered, %zu timed out, %zu failed.\n",
               agents.agents.size(), tally.answered, tally.timedOut, tally.failed);
    return ran && tally.answered == agents.agents.size();
}
