// Our engine's two lines: the engine ID in hex, the boots count.
#include "traps/local_engine.h"

#include <cstdio>

#include "security/usm_crypto.h"
#include "traps/local_engine_os.h"

namespace {

// RFC 3411 section 5: the first bit set, an enterprise number (0: none is
// ours), format 5 (octets of the administrator's choosing), then ours.
constexpr uint8_t kEngineIdHead[] = {0x80, 0, 0, 0, 5};
constexpr size_t kRandomBytes = 12;
// RFC 3414 section 2.2.2: boots stops at 2^31 - 1.
constexpr int32_t kMostBoots = 2147483647;

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

bool ParseEngineState(const std::string& text, LocalEngine& engine)
{
    const size_t end = text.find('\n');
    if (end == std::string::npos || end % 2 != 0 || end < 10 || end > 64) {
        return false;
    }
    engine.id.clear();
    for (size_t i = 0; i < end; i += 2) {
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        engine.id.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    int64_t boots = 0;
    size_t at = end + 1;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && boots <= kMostBoots; ++at) {
        boots = boots * 10 + (text[at] - '0');
    }
    if (at == end + 1 || at + 1 != text.size() || text[at] != '\n' || boots > kMostBoots) {
        return false;
    }
    engine.boots = static_cast<int32_t>(boots);
    return true;
}

std::string FormatEngineState(const LocalEngine& engine)
{
    std::string text;
    char pair[3];
    for (uint8_t byte : engine.id) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text + "\n" + std::to_string(engine.boots) + "\n";
}

bool StartLocalEngine(LocalEngine& engine, std::string& problem)
{
    const std::string path = EngineStatePath();
    if (path.empty()) {
        problem = "no place for the engine's state: set XDG_STATE_HOME or HOME";
        return false;
    }
    std::string text;
    if (!ReadEngineState(path, text, problem)) {
        return false;
    }
    if (text.empty()) {
        uint8_t random[kRandomBytes];
        if (!RandomBytes(random, sizeof random)) {
            problem = "no random numbers for an engine ID";
            return false;
        }
        engine.id.assign(std::begin(kEngineIdHead), std::end(kEngineIdHead));
        engine.id.insert(engine.id.end(), std::begin(random), std::end(random));
        engine.boots = 0;
    } else if (!ParseEngineState(text, engine)) {
        problem = path + ": not an engine ID and a boots count on two lines";
        return false;
    }
    // Boots at its most means the engine must be given a new ID (section 2.2.2).
    if (engine.boots < kMostBoots) {
        ++engine.boots;
    }
    return WriteEngineState(path, FormatEngineState(engine), problem);
}
