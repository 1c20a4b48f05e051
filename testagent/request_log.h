// The agent's request log: one line per datagram received, so that tests can
// check what reached the agent, byte for byte (testagent/README.md).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "ber/ber_codec.h"

// The line for a decoded request (without the newline). SET values are taken
// from the datagram itself, so they are the bytes the manager sent.
std::string RequestLogLine(const SnmpMessage& request, const uint8_t* data, size_t size);

// Appends `line` and a newline to `log` (when open) and flushes it.
void WriteLogLine(FILE* log, const std::string& line);
