// The types and constants of the windowed platform that the launcher is written against.
// Only what the launcher and its layer use is here; the values are the platform's own, so that
// results compare the same way on both systems.
#pragma once

#if defined(_WIN32)
#include "win_types_win32.h"
#else
#include "win_types_posix.h"
#endif
