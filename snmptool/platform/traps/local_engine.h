// Our own engine, for the informs we receive: as their receiver we are the
// authoritative engine (RFC 3414 section 2.2), so senders need our engine ID,
// boots and time. The ID is made once from random bytes and kept with the
// count of boots in the state place, so that a sender that cached the ID
// keeps working across restarts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LocalEngine {
    std::vector<uint8_t> id;
    int32_t boots = 0;
};

// The state file's text: the engine ID in hex, then the boots count, a line
// each. Parsing is false for anything else.
bool ParseEngineState(const std::string& text, LocalEngine& engine);
std::string FormatEngineState(const LocalEngine& engine);

// Reads the state file, making the ID when there is none, and counts one more
// boot there. False with a one-line `problem` naming the file.
bool StartLocalEngine(LocalEngine& engine, std::string& problem);
