// Hooks for the receiver's own tests: smaller queue limits, so that a full
// queue is reached with a few traps, and the port actually bound when the
// address named port 0.
#pragma once

#include <cstddef>
#include <cstdint>

// Applies from the next SnmpMgrTrapListen on; 0 restores the ordinary limit.
void SetTrapQueueLimitsForTesting(uint32_t maxTraps, size_t maxBytes);

// The local port that reception listens on; 0 when it does not run.
uint16_t TrapReceiverPort();

// Traps dropped so far because the queue was full (SnmpMgrTrapStop tells the
// same at the end).
uint64_t TrapsDroppedSoFar();

// The next SnmpMgrGetTrap fails with `code` (as a failed allocation would),
// whatever waits; 0 cancels. For the callers' error paths.
void FailNextTrapFetchForTesting(uint32_t code);
