// File search by pattern. The windowed platform matches names without regard to case, with `*`
// (any run of characters) and `?` (any one character), and yields them in case-insensitive
// alphabetical order; this layer gives the same. Directories that match are yielded like files.
#pragma once

#include <string>

#include "win_types.h"

namespace pkgrunner {

#if !defined(_WIN32)
// On Windows the search is the system's own (FindFirstFileA and its kin).
// Whether the name matches the pattern, case folded for ASCII letters.
bool WildcardMatch(const std::string& pattern, const std::string& name);

// The order of the search: case-insensitive, with names that differ only in case (which this
// system allows side by side) ordered by their bytes so the order never depends on the
// directory's own.
bool SearchOrderBefore(const std::string& left, const std::string& right);

// Starts a search over the pattern, which may name a directory before its last slash (a
// pattern without one searches the current directory). Returns INVALID_HANDLE_VALUE with the
// last error set when nothing matches or the directory cannot be read.
HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* found);

// The next match; FALSE with ERROR_NO_MORE_FILES when they are exhausted.
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* found);

BOOL FindClose(HANDLE search);
#endif

}  // namespace pkgrunner
