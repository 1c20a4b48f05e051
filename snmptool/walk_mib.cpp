// The MIB walk: successive GETNEXT requests over one kept-open session, each
// asking for the successor of the name that the previous answer brought; where
// the session's version can bulk, GETBULK requests, each bringing many
// successors at once. Both take every answered binding through the same
// steps, so that a walk prints and ends the same way in every version.
#include <cstdio>

#include "json_printer.h"
#include "tool.h"
#include "walk_mib.h"

namespace {

// Lexicographic order of sub-identifiers (RFC 1157 section 4.1.3 defines the
// successor in it): negative, 0 or positive as a is before, equal to or after b.
int CompareOids(const AsnObjectIdentifier& a, const AsnObjectIdentifier& b)
{
    const uint32_t shorter = a.count < b.count ? a.count : b.count;
    const int common = SnmpUtilOidNCmp(&a, &b, shorter);
    if (common != 0) {
        return common;
    }
    if (a.count == b.count) {
        return 0;
    }
    return a.count < b.count ? -1 : 1;
}

// The name most recently asked for. Its array is kept and reused from request
// to request, so a walk of any length allocates only when a name grows.
struct AskedName {
    AsnObjectIdentifier oid{};
    uint32_t capacity = 0;
};

bool RememberAskedName(AskedName& asked, const AsnObjectIdentifier& name)
{
    if (name.count > asked.capacity) {
        void* grown = SnmpUtilMemReAlloc(asked.oid.ids, sizeof(uint32_t) * name.count);
        if (grown == nullptr) {
            return false;
        }
        asked.oid.ids = static_cast<uint32_t*>(grown);
        asked.capacity = name.count;
    }
    for (uint32_t i = 0; i < name.count; ++i) {
        asked.oid.ids[i] = name.ids[i];
    }
    asked.oid.count = name.count;
    return true;
}

// GETBULK repetitions (RFC 3416 section 4.2.3): the first request asks for
// many, and the walk settles on what the agent can answer in one message.
constexpr int32_t kFirstRepetitions = 100;

// How the walk goes on after one answered binding.
enum class WalkStep {
    Next,    // printed; the walk goes on from its name
    Ended,   // the walk is over
    Failed,  // the walk cannot go on: it ends as a failure
};

// One answered binding: the end of the agent's view, the order guard, the end
// of the branch, and the printing. `asked` is the name the binding succeeds.
WalkStep TakeBinding(const SnmpVarBind& binding, const AsnObjectIdentifier& start, AskedName& asked)
{
    switch (JudgeWalkBinding(binding, asked.oid, start)) {
    case BindingVerdict::ViewEnded:
        return WalkStep::Ended;
    case BindingVerdict::OutOfOrder:
        ReportFailure({"oidNotIncreasing", FailureClass::Agent}, FailureStream::Output,
                      "mibcli: Walk stopped: the agent returned an OID that does not follow the "
                      "last one.\n");
        return WalkStep::Failed;
    case BindingVerdict::BranchLeft:
        PrintNote("\nEnd of MIB branch\n");
        return WalkStep::Ended;
    case BindingVerdict::Going:
        break;
    }
    const AsnObjectIdentifier& returned = binding.name;
    const SnmpVarBindList one = {const_cast<SnmpVarBind*>(&binding), 1};
    PrintResponse(SNMP_ERROR_NOERROR, 0, &one, false);
    if (!RememberAskedName(asked, returned)) {
        ReportSystemError("SnmpUtilMemReAlloc() Error", GetLastError());
        return WalkStep::Failed;
    }
    return WalkStep::Next;
}

}  // namespace

// Makes `list` one binding of `name` with a NULL value, as a GETBULK asks.
bool AskFrom(SnmpVarBindList* list, const AsnObjectIdentifier& name)
{
    SnmpVarBindList next = {static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind))), 1};
    if (next.bindings == nullptr) {
        return false;
    }
    next.bindings[0].value.tag = ASN_NULL;
    if (!SnmpUtilOidCpy(&next.bindings[0].name, &name)) {
        SnmpUtilVarBindListFree(&next);
        return false;
    }
    SnmpUtilVarBindListFree(list);
    *list = next;
    return true;
}

// The repetitions for the next GETBULK after `answer` came to one of `asked`:
// an agent that answered tooBig gets half as many, and one that answered
// fewer, having cut what would not fit its message (RFC 3416 section 4.2.3),
// gets as many as it could answer.
int32_t NextRepetitions(int32_t asked, int32_t errorStatus, const SnmpVarBindList& answer)
{
    if (errorStatus == SNMP_ERROR_TOOBIG) {
        return asked / 2;
    }
    const bool cut = answer.count > 0 && answer.count < static_cast<uint32_t>(asked) &&
                     answer.bindings[answer.count - 1].value.tag != ASN_ENDOFMIBVIEW;
    return cut ? static_cast<int32_t>(answer.count) : asked;
}

bool FollowsInWalkOrder(const AsnObjectIdentifier& asked, const AsnObjectIdentifier& returned)
{
    return CompareOids(returned, asked) > 0;
}

BindingVerdict JudgeWalkBinding(const SnmpVarBind& binding, const AsnObjectIdentifier& asked,
                                const AsnObjectIdentifier& start)
{
    // RFC 3416 section 4.2.3: the agent has nothing after the name asked.
    if (binding.value.tag == ASN_ENDOFMIBVIEW && RequestCapabilities().exceptions) {
        return BindingVerdict::ViewEnded;
    }
    // Checked before the branch: an agent that answers with the same or an
    // earlier name would otherwise keep a walk going for ever, inside the
    // branch or, in a long walk, anywhere.
    if (!FollowsInWalkOrder(asked, binding.name)) {
        return BindingVerdict::OutOfOrder;
    }
    if (!g_settings.longWalk && SnmpUtilOidNCmp(&binding.name, &start, start.count) != 0) {
        return BindingVerdict::BranchLeft;
    }
    return BindingVerdict::Going;
}

int WalkMib(const char* agent, const char* community, uint32_t timeoutMs, uint32_t retries,
            SnmpVarBindList* list)
{
    if (agent == nullptr || community == nullptr || list == nullptr || list->count != 1) {
        return 0;
    }

    AsnObjectIdentifier start{};
    if (!SnmpUtilOidCpy(&start, &list->bindings[0].name)) {
        ReportSystemError("SnmpUtilOidCpy() Error", GetLastError());
        return 0;
    }
    AskedName asked;
    const bool bulk = RequestCapabilities().bulk;
    int32_t repetitions = kFirstRepetitions;
    int result = 1;

    for (;;) {
        if (!RememberAskedName(asked, list->bindings[0].name)) {
            ReportSystemError("SnmpUtilMemReAlloc() Error", GetLastError());
            result = 0;
            break;
        }
        // GETBULK takes non-repeaters and max-repetitions where the answer
        // leaves its error status and index.
        int32_t errorStatus = 0;
        int32_t errorIndex = bulk ? repetitions : 0;
        // A walk that got no answer did not finish, however much it printed:
        // the caller must not report it as done.
        if (DoRequest(agent, community, timeoutMs, retries, bulk ? PDU_GETBULK : PDU_GETNEXT, list,
                      &errorStatus, &errorIndex, SessionUse::KeepOpen) != 0) {
            result = 0;
            break;
        }
        if (bulk) {
            const int32_t next = NextRepetitions(repetitions, errorStatus, *list);
            // tooBig: the same name again, for fewer. tooBig to a single
            // repetition ends the walk like any other error status.
            if (errorStatus == SNMP_ERROR_TOOBIG && next > 0) {
                repetitions = next;
                if (!AskFrom(list, asked.oid)) {
                    ReportSystemError("SnmpUtilMemAlloc() Error", GetLastError());
                    result = 0;
                    break;
                }
                continue;
            }
            repetitions = next;
        }
        // An SNMPv1 agent ends its MIB with noSuchName (RFC 1157 section 4.1.3);
        // any other error status means the walk did not get through.
        if (errorStatus == SNMP_ERROR_NOSUCHNAME || list->count == 0) {
            break;
        }
        if (errorStatus != SNMP_ERROR_NOERROR) {
            ReportFailure({JsonErrorStatusWord(errorStatus), FailureClass::Agent},
                          FailureStream::Output,
                          "mibcli: Walk failed: the agent answered %s (error status %u).\n",
                          ErrorStatusName(errorStatus), static_cast<uint32_t>(errorStatus));
            result = 0;
            break;
        }
        WalkStep step = WalkStep::Next;
        for (uint32_t i = 0; i < list->count && step == WalkStep::Next; ++i) {
            step = TakeBinding(list->bindings[i], start, asked);
        }
        EndResult();
        if (step == WalkStep::Failed) {
            result = 0;
            break;
        }
        if (step == WalkStep::Ended || EscapePressed()) {
            break;
        }
        // The next GETBULK asks from the last name printed; a GETNEXT list
        // already holds it.
        if (bulk && !AskFrom(list, asked.oid)) {
            ReportSystemError("SnmpUtilMemAlloc() Error", GetLastError());
            result = 0;
            break;
        }
    }

    SnmpUtilMemFree(asked.oid.ids);
    SnmpUtilOidFree(&start);
    return result;
}
