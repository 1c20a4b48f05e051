// The error box. On Windows it is the system's message box, its text made printable. Without a
// desktop to show it on (POSIX), the box is one line on standard error: the caption, a colon and
// a blank, then the text; nobody can press a button, so the result is IDOK.
#pragma once

#include "win_types.h"

namespace pkgrunner {

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

}  // namespace pkgrunner
