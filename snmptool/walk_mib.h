// What the walk of one agent and the walk of a list share: the judging of an
// answered binding, the order check (apart, so that it can be tested on its
// own), the next request and the GETBULK repetitions.
#pragma once

#include "snmp_api.h"

// True when `returned` comes after `asked` in the lexicographic order of
// sub-identifiers, as the answer to a GETNEXT for `asked` must.
bool FollowsInWalkOrder(const AsnObjectIdentifier& asked, const AsnObjectIdentifier& returned);

// Where one answered binding leaves a walk of the branch `start`, the binding
// answering a request for `asked`.
enum class BindingVerdict {
    Going,       // inside the walk: printed, and the next request asks from it
    ViewEnded,   // endOfMibView: the agent has nothing after `asked`
    OutOfOrder,  // not after `asked`: the walk fails
    BranchLeft,  // outside the branch (the long walk, -l, has none)
};
BindingVerdict JudgeWalkBinding(const SnmpVarBind& binding, const AsnObjectIdentifier& asked,
                                const AsnObjectIdentifier& start);

// The repetitions for the next GETBULK after `answer` came to one of `asked`:
// half as many after tooBig, as many as the agent could answer after one it
// cut short (RFC 3416 section 4.2.3).
int32_t NextRepetitions(int32_t asked, int32_t errorStatus, const SnmpVarBindList& answer);
// Makes `list` one binding of `name` with a NULL value, as a GETBULK asks.
bool AskFrom(SnmpVarBindList* list, const AsnObjectIdentifier& name);
