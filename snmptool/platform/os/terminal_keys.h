// The keyboard of the controlling terminal (on Windows, the console).
#pragma once

// Nonzero when a key press waits on the controlling terminal. Never blocks.
// No terminal, or a process outside the terminal's foreground group: 0.
int ConsoleKeyWaiting();

// Reads one key press, raw mode only for the read. A key with a character
// gives that character (0 to 255). A key the terminal sends as an escape
// sequence gives the lead value 0xE0 and stores its key code (0 to 255) in
// *extendedCode; otherwise *extendedCode is set to -1. Failure gives -1.
int ConsoleReadKey(int* extendedCode);
