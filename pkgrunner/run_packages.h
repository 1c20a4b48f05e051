// The launcher's one routine: run every package executable of the current directory, then the
// setup tool for every answer file, one child at a time.
#pragma once

#include "platform/win_types.h"

namespace pkgrunner {

// Returns 0 when both passes are done, or the wParam of a WM_QUIT taken from the queue while a
// child ran (the child is then left running and nothing more is started). The instances and
// the show command are the windowed entry's and are not used.
int RunPackages(HINSTANCE instance, HINSTANCE previousInstance, const char* arguments,
                int showCommand);

}  // namespace pkgrunner
