// The tool's two streams. Results go to standard output, which is fully
// buffered when it goes to a file or a pipe (walks print a great deal); the
// banner, usage and progress lines go to standard error, unbuffered. Standard
// output is flushed before every write to standard error so that a reader of
// both streams in one place sees the lines in the order they were printed.
#include <cstdarg>
#include <cstdio>

#include "names/mib_modules.h"
#include "os/os_services.h"
#include "tool.h"

namespace {

// What the names layer found wrong in the module files, when it loads them.
void PrintModuleWarning(const char* warning)
{
    PrintError("mibcli: %s\n", warning);
}

}  // namespace

void InitOutput()
{
    // setvbuf is only valid before the first write to a stream; a second call
    // (a test calling the entry twice) must leave the streams alone.
    static bool s_done = false;
    if (s_done) {
        return;
    }
    s_done = true;
    // A large buffer of our own (the C library ignores a size without one): a
    // walk to a file then writes once per hundreds of objects, not per dozens.
    static char s_fullBuffer[kStdoutBufferBytes];
    if (StdoutIsConsole()) {
        setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    } else {
        setvbuf(stdout, s_fullBuffer, _IOFBF, sizeof s_fullBuffer);
    }
    setvbuf(stderr, nullptr, _IONBF, 0);
    MibSetWarningSink(PrintModuleWarning);
}

void PrintError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    VPrintError(format, args);
    va_end(args);
}

void VPrintError(const char* format, va_list args)
{
    fflush(stdout);
    vfprintf(stderr, format, args);
}

bool StdoutWritten()
{
    return fflush(stdout) == 0 && ferror(stdout) == 0;
}

void ReportLostOutput(bool lineOpen)
{
    PrintError("%smibcli: Could not write to standard output; the output is incomplete.\n",
               lineOpen ? "\n" : "");
}
