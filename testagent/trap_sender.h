// Sends numbered v1, v2c or v3 traps as fast as it can (testagent/README.md).
#pragma once

#include "options.h"

// Returns the process's exit status: 0 when every trap was sent, 2 otherwise.
int SendTraps(const TrapOptions& options);
