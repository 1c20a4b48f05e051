// The order check of the MIB walk, apart so that it can be tested on its own.
#pragma once

#include "snmp_api.h"

// True when `returned` comes after `asked` in the lexicographic order of
// sub-identifiers, as the answer to a GETNEXT for `asked` must.
bool FollowsInWalkOrder(const AsnObjectIdentifier& asked, const AsnObjectIdentifier& returned);
