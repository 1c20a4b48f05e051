#include "terminal_safety.h"

#include <cstdint>
#include <cstdio>

#include "os/os_services.h"

namespace {

constexpr unsigned char kTab = 0x09;
constexpr unsigned char kLineFeed = 0x0A;
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

// A carriage return is masked too: on a terminal it moves back to the start of
// the line, and what follows overwrites the label as if it were the tool's own.
bool IsHarmfulControl(unsigned char byte)
{
    if (byte == kDelete) {
        return true;
    }
    if (byte >= kFirstPrintable) {
        return false;
    }
    return byte != kTab && byte != kLineFeed;
}

enum class StdoutKind : uint8_t { Unknown, Terminal, Other };

StdoutKind g_stdoutKind = StdoutKind::Unknown;

}  // namespace

bool StdoutIsTerminal()
{
    if (g_stdoutKind == StdoutKind::Unknown) {
        g_stdoutKind = StdoutIsConsole() != 0 ? StdoutKind::Terminal : StdoutKind::Other;
    }
    return g_stdoutKind == StdoutKind::Terminal;
}

namespace {

constexpr unsigned char kFirstC1 = 0x80;
constexpr unsigned char kLastC1 = 0x9F;
constexpr unsigned char kC1Lead = 0xC2;  // U+0080 to U+009F in UTF-8

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at text[i], or 0.
size_t Utf8SequenceLength(const unsigned char* text, size_t i, size_t length)
{
    const unsigned char lead = text[i];
    size_t size = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4;
    } else {
        return 0;
    }
    if (length - i < size) {
        return 0;
    }
    for (size_t k = 1; k < size; ++k) {
        if (!IsContinuation(text[i + k])) {
            return 0;
        }
    }
    return size;
}

}  // namespace

size_t MaskControlBytes(char* text, size_t length)
{
    auto* bytes = reinterpret_cast<unsigned char*>(text);
    size_t out = 0;
    size_t i = 0;
    while (i < length) {
        const unsigned char byte = bytes[i];
        if (byte < kFirstC1) {
            bytes[out++] = IsHarmfulControl(byte) ? '.' : byte;
            ++i;
            continue;
        }
        const size_t sequence = Utf8SequenceLength(bytes, i, length);
        if (sequence == 2 && byte == kC1Lead && bytes[i + 1] <= kLastC1) {
            // A C1 control written in UTF-8: terminals take U+009B for CSI.
            bytes[out++] = '.';
            i += 2;
        } else if (sequence > 0) {
            for (size_t k = 0; k < sequence; ++k) {
                bytes[out++] = bytes[i++];
            }
        } else {
            // A byte outside any UTF-8 sequence: a C1 control for an 8-bit terminal.
            bytes[out++] = byte <= kLastC1 ? '.' : byte;
            ++i;
        }
    }
    return out;
}
