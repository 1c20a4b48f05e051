// Any bytes as our engine's state file: what parses is an engine ID of 5 to
// 32 bytes (RFC 3411 section 5) and a boots count from 0 to 2^31 - 1
// (RFC 3414 section 2.2.2), and the text written back for it parses to the
// same engine.
#include <cstddef>
#include <cstdint>
#include <string>

#include "traps/local_engine.h"
#include "fuzz_require.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    LocalEngine engine;
    if (!ParseEngineState(text, engine)) {
        return 0;
    }
    Require(engine.id.size() >= 5 && engine.id.size() <= 32);
    Require(engine.boots >= 0);
    const std::string written = FormatEngineState(engine);
    Require(written.size() <= text.size());
    LocalEngine again;
    Require(ParseEngineState(written, again));
    Require(again.id == engine.id && again.boots == engine.boots);
    return 0;
}
