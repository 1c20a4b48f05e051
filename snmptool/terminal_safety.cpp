#include "terminal_safety.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace {

constexpr unsigned char kTab = 0x09;
constexpr unsigned char kLineFeed = 0x0A;
constexpr unsigned char kCarriageReturn = 0x0D;
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

bool IsHarmfulControl(unsigned char byte)
{
    if (byte == kDelete) {
        return true;
    }
    if (byte >= kFirstPrintable) {
        return false;
    }
    return byte != kTab && byte != kLineFeed && byte != kCarriageReturn;
}

enum class StdoutKind : uint8_t { Unknown, Terminal, Other };

StdoutKind g_stdoutKind = StdoutKind::Unknown;

}  // namespace

bool StdoutIsTerminal()
{
    if (g_stdoutKind == StdoutKind::Unknown) {
        g_stdoutKind = isatty(fileno(stdout)) == 1 ? StdoutKind::Terminal : StdoutKind::Other;
    }
    return g_stdoutKind == StdoutKind::Terminal;
}

void ForgetStdoutKind()
{
    g_stdoutKind = StdoutKind::Unknown;
}

void MaskControlBytes(char* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (IsHarmfulControl(static_cast<unsigned char>(text[i]))) {
            text[i] = '.';
        }
    }
}
