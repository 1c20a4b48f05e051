// Values come from the agent byte for byte. Written to a file or a pipe they
// must stay exactly as sent; written to a terminal, a control byte among them
// (Escape above all) could drive the user's terminal, so there it is masked.
#pragma once

#include <cstddef>

// True when standard output is a terminal. Asked anew at each call, because a
// caller may redirect standard output between two printouts.
bool StdoutIsTerminal();

// Replaces in place, within the first `length` bytes, every control byte
// (0x00 to 0x1F and 0x7F) other than tab, line feed and carriage return by '.'.
void MaskControlBytes(char* text, size_t length);
