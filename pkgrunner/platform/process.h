// Starting child processes and releasing their handles.
#pragma once

#include <string>

#include "win_types.h"

namespace pkgrunner {

#if !defined(_WIN32)
// On Windows CreateProcessA and CloseHandle are the system's own.
// Starts the program named by the first word of the command line (see command_line.h for the
// words). A first word with a slash is used as given; otherwise it is looked for in the
// launcher's own directory, then the current directory, then each directory of PATH, and the
// first entry that exists and is not a directory is taken; an application name, when given, is
// the program's path instead. The child gets the words as its arguments, the launcher's
// environment, current directory and standard streams, and without handle inheritance no other
// descriptor. A program that is missing, not executable or of a format this system does not run
// fails here, with the last error set (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
// ERROR_BAD_EXE_FORMAT) and no child left behind.
//
// Security attributes have no meaning here and are not read. Creation flags, an environment
// block and a directory of its own are not offered: they are refused with ERROR_NOT_SUPPORTED
// rather than ignored.
BOOL CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes,
                    void* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    void* environment, const char* currentDirectory, STARTUPINFOA* startupInfo,
                    PROCESS_INFORMATION* processInformation);

// Releases a process or thread handle. A child that has ended is reaped here if no wait did so.
BOOL CloseHandle(HANDLE object);

// For the wait: whether the process of the handle has ended, reaping it the first time it is
// seen ended. Never blocks.
bool ProcessHasEnded(HANDLE process);
#endif

}  // namespace pkgrunner
