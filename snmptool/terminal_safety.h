// Values come from the agent byte for byte. Written to a file or a pipe they
// must stay exactly as sent; written to a terminal, a control byte among them
// (Escape above all) could drive the user's terminal, so there it is masked.
#pragma once

#include <cstddef>

// True when standard output is a terminal. The system is asked once, at the
// first call: standard output stays where it is for the whole run, and a walk
// prints one binding per request.
bool StdoutIsTerminal();

// Replaces in place, within the first `length` bytes, every control character
// by one '.': the bytes 0x00 to 0x1F (but tab, line feed and carriage return)
// and 0x7F, and the C1 controls, whether written in UTF-8 (U+0080 to U+009F)
// or as bytes 0x80 to 0x9F outside a UTF-8 sequence. Other UTF-8 text stays.
// Returns the new length.
size_t MaskControlBytes(char* text, size_t length);
