// Values come from the agent byte for byte. Written to a file or a pipe they
// must stay exactly as sent; written to a terminal, a control byte among them
// (Escape above all) could drive the user's terminal, so there it is masked.
#pragma once

#include <cstddef>

// True when standard output is a terminal. The system is asked once, at the
// first call: standard output stays where it is for the whole run, and a walk
// prints one binding per request.
bool StdoutIsTerminal();
// Asks the system again at the next call, for a caller that has pointed
// standard output somewhere else.
void ForgetStdoutKind();

// Replaces in place, within the first `length` bytes, every control byte
// (0x00 to 0x1F and 0x7F) other than tab, line feed and carriage return by '.'.
void MaskControlBytes(char* text, size_t length);
