// A walk of every agent of a list: each agent's GETNEXT (or, where the
// version can bulk, GETBULK) requests follow one another as its answers come,
// all agents at once; each agent's bindings are kept until its walk ends and
// then printed as its block, with the walk's own end lines.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "fleet_front.h"
#include "json_printer.h"
#include "tool.h"
#include "walk_mib.h"

namespace {

// GETBULK repetitions (RFC 3416 section 4.2.3): many at first, then what the
// agent showed it can answer in one message.
constexpr int32_t kFirstRepetitions = 100;

enum class WalkEnd { Going, Quiet, Branch, Order, Status, NoAnswer };

struct AnswerTaken {
    SnmpVarBindList bindings;
    uint32_t printed;  // the first bindings, those inside the walk
};

struct AgentWalk {
    WalkEnd end = WalkEnd::Going;
    int32_t repetitions = kFirstRepetitions;
    int32_t errorStatus = 0;
    uint32_t failure = 0;
    SnmpVarBindList asking = {nullptr, 0};  // one binding: the name asked from
    std::vector<AnswerTaken> answers;
};

class WalkEach : public FleetFront {
public:
    WalkEach(const AgentList& list, const AsnObjectIdentifier& start)
        : FleetFront(list), start_(start), walks_(list.agents.size())
    {
    }

    ~WalkEach() override
    {
        for (size_t agent = 0; agent < walks_.size(); ++agent) {
            Release(agent);
        }
    }

    bool NextRequest(size_t agent, FleetAsk& ask) override
    {
        AgentWalk& walk = walks_[agent];
        if (walk.end != WalkEnd::Going) {
            return false;
        }
        if (walk.asking.count == 0 && !AskFrom(&walk.asking, start_)) {
            Failed(agent, ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        const bool bulk = RequestCapabilities().bulk;
        ask = {bulk ? PDU_GETBULK : PDU_GETNEXT, &walk.asking, 0, bulk ? walk.repetitions : 0};
        return true;
    }

    void Answered(size_t agent, SnmpPdu& answer) override
    {
        AgentWalk& walk = walks_[agent];
        SnmpVarBindList bindings = answer.bindings;
        answer.bindings = {nullptr, 0};
        const int32_t status = answer.errorStatus;
        uint32_t limit = bindings.count;
        if (RequestCapabilities().bulk) {
            const int32_t asked = walk.repetitions;
            walk.repetitions = NextRepetitions(asked, status, bindings);
            // tooBig: the same name again, for fewer.
            if (status == SNMP_ERROR_TOOBIG && walk.repetitions > 0) {
                SnmpUtilVarBindListFree(&bindings);
                return;
            }
            // Bindings beyond the repetitions asked for are not the answer's.
            limit = std::min<uint32_t>(bindings.count, static_cast<uint32_t>(asked));
        }
        // An SNMPv1 agent ends its MIB with noSuchName (RFC 1157 section 4.1.3).
        if (status == SNMP_ERROR_NOSUCHNAME || bindings.count == 0) {
            SnmpUtilVarBindListFree(&bindings);
            End(agent, WalkEnd::Quiet);
            return;
        }
        if (status != SNMP_ERROR_NOERROR) {
            SnmpUtilVarBindListFree(&bindings);
            walk.errorStatus = status;
            End(agent, WalkEnd::Status);
            return;
        }
        uint32_t printed = 0;
        const AsnObjectIdentifier* last = &walk.asking.bindings[0].name;
        for (; printed < limit && walk.end == WalkEnd::Going; ++printed) {
            walk.end = Judge(bindings.bindings[printed], *last);
            if (walk.end != WalkEnd::Going) {
                break;
            }
            last = &bindings.bindings[printed].name;
        }
        const bool goesOn = walk.end == WalkEnd::Going;
        const bool asked = !goesOn || AskFrom(&walk.asking, *last);
        walk.answers.push_back({bindings, printed});
        if (!asked) {
            Failed(agent, ERROR_NOT_ENOUGH_MEMORY);
        } else if (!goesOn) {
            End(agent, walk.end);
        }
    }

    void Failed(size_t agent, uint32_t code) override
    {
        walks_[agent].failure = code;
        walks_[agent].end = WalkEnd::NoAnswer;
        Complete(agent, code == SNMP_MGMTAPI_TIMEOUT ? Outcome::TimedOut : Outcome::Failed);
    }

private:
    // One binding, judged by the rules of every walk.
    WalkEnd Judge(const SnmpVarBind& binding, const AsnObjectIdentifier& asked) const
    {
        switch (JudgeWalkBinding(binding, asked, start_)) {
        case BindingVerdict::ViewEnded:
            return WalkEnd::Quiet;
        case BindingVerdict::OutOfOrder:
            return WalkEnd::Order;
        case BindingVerdict::BranchLeft:
            return WalkEnd::Branch;
        case BindingVerdict::Going:
            break;
        }
        return WalkEnd::Going;
    }

    void End(size_t agent, WalkEnd end)
    {
        walks_[agent].end = end;
        const bool failed = end == WalkEnd::Order || end == WalkEnd::Status;
        Complete(agent, failed ? Outcome::Failed : Outcome::Answered);
    }

    void PrintBody(size_t agent) override
    {
        const AgentWalk& walk = walks_[agent];
        for (const AnswerTaken& taken : walk.answers) {
            const SnmpVarBindList inside = {taken.bindings.bindings, taken.printed};
            PrintResponse(SNMP_ERROR_NOERROR, 0, &inside, false);
        }
        switch (walk.end) {
        case WalkEnd::Branch:
            PrintNote("\nEnd of MIB branch\n\n");
            break;
        case WalkEnd::Order:
            ReportFailure({"oidNotIncreasing", FailureClass::Agent}, FailureStream::Output,
                          "mibcli: Walk stopped: the agent returned an OID that does not follow "
                          "the last one.\n\n");
            break;
        case WalkEnd::Status:
            ReportFailure(
                {JsonErrorStatusWord(walk.errorStatus), FailureClass::Agent}, FailureStream::Output,
                "mibcli: Walk failed: the agent answered %s (error status %u).\n\n",
                ErrorStatusName(walk.errorStatus), static_cast<uint32_t>(walk.errorStatus));
            break;
        case WalkEnd::NoAnswer:
            PrintFailure(walk.failure);
            break;
        default:
            PrintNote("\n");
            break;
        }
        Release(agent);
    }

    void Release(size_t agent)
    {
        AgentWalk& walk = walks_[agent];
        for (AnswerTaken& taken : walk.answers) {
            SnmpUtilVarBindListFree(&taken.bindings);
        }
        walk.answers.clear();
        walk.answers.shrink_to_fit();
        SnmpUtilVarBindListFree(&walk.asking);
    }

    const AsnObjectIdentifier& start_;
    std::vector<AgentWalk> walks_;
};

}  // namespace

bool WalkFleet(const AgentList& agents, FleetModels& models, const AsnObjectIdentifier& start)
{
    if (!JsonOutput()) {
        printf("\nPerforming %s walk starting at OID ", g_settings.longWalk ? "long" : "branch");
        PrintDottedOid(&start);
        printf("\n\n");
    }
    WalkEach walks(agents, start);
    const bool ran = RunFleetExchange(agents, models, walks);
    walks.PrintSummary();
    return ran && walks.AllAnswered();
}
