// The MIB walk: successive GETNEXT requests over one kept-open session, each
// asking for the successor of the name that the previous answer brought.
#include <cstdio>

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

}  // namespace

bool FollowsInWalkOrder(const AsnObjectIdentifier& asked, const AsnObjectIdentifier& returned)
{
    return CompareOids(returned, asked) > 0;
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
    int result = 1;

    for (;;) {
        if (!RememberAskedName(asked, list->bindings[0].name)) {
            ReportSystemError("SnmpUtilMemReAlloc() Error", GetLastError());
            result = 0;
            break;
        }
        int32_t errorStatus = 0;
        int32_t errorIndex = 0;
        // A walk that got no answer did not finish, however much it printed:
        // the caller must not report it as done.
        if (DoRequest(agent, community, timeoutMs, retries, PDU_GETNEXT, list, &errorStatus,
                      &errorIndex, 1) != 0) {
            result = 0;
            break;
        }
        // An SNMPv1 agent ends its MIB with noSuchName (RFC 1157 section 4.1.3);
        // any other error status means the walk did not get through.
        if (errorStatus == SNMP_ERROR_NOSUCHNAME || list->count == 0) {
            break;
        }
        if (errorStatus != SNMP_ERROR_NOERROR) {
            printf("mibcli: Walk failed: the agent answered %s (error status %u).\n",
                   ErrorStatusName(errorStatus), static_cast<uint32_t>(errorStatus));
            result = 0;
            break;
        }
        const AsnObjectIdentifier& returned = list->bindings[0].name;
        // Checked before the branch: an agent that answers with the same or an
        // earlier name would otherwise keep a walk going for ever, inside the
        // branch or, in a long walk, anywhere.
        if (!FollowsInWalkOrder(asked.oid, returned)) {
            printf("mibcli: Walk stopped: the agent returned an OID that does not follow the "
                   "last one.\n");
            result = 0;
            break;
        }
        if (!g_settings.longWalk && SnmpUtilOidNCmp(&returned, &start, start.count) != 0) {
            printf("\nEnd of MIB branch\n");
            break;
        }
        PrintResponse(errorStatus, errorIndex, list, 0);
        if (EscapePressed()) {
            break;
        }
    }

    SnmpUtilMemFree(asked.oid.ids);
    SnmpUtilOidFree(&start);
    return result;
}
