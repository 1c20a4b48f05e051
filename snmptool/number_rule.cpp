// The one number rule of the tool's words: option values, set type numbers and
// the numeric set values all read the same way, so that a word means the same
// number wherever it stands.
#include "tool.h"

namespace {

bool IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

uint32_t ParseDecimal(const char* text)
{
    // 2^32 divides 2^64: the low half of the 64-bit reading is the 32-bit one.
    return static_cast<uint32_t>(ParseDecimal64(text));
}

uint64_t ParseDecimal64(const char* text)
{
    if (text == nullptr) {
        return 0;
    }
    while (IsWhiteSpace(*text)) {
        ++text;
    }
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = (*text == '-');
        ++text;
    }
    // Unsigned arithmetic wraps, which is exactly the modulo the words are
    // read with: as 32-bit numbers 4294967296 is 0 and -1 is 4294967295.
    uint64_t value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10u + static_cast<uint64_t>(*text - '0');
        ++text;
    }
    return negative ? 0u - value : value;
}
