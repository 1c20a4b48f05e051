// The agent's serving loop: one socket, one request at a time, until SIGTERM
// or SIGINT.
#pragma once

#include "options.h"

// Returns the process's exit status: 0 after a stop signal, 2 when it could not start.
int Serve(const ServeOptions& options);
