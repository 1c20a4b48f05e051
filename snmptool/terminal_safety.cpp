#include "terminal_safety.h"

#include <unistd.h>

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

}  // namespace

bool StdoutIsTerminal()
{
    return isatty(fileno(stdout)) == 1;
}

void MaskControlBytes(char* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (IsHarmfulControl(static_cast<unsigned char>(text[i]))) {
            text[i] = '.';
        }
    }
}
