// Any bytes as a MIB module file: the reader never fails badly, stays within
// its limits, and what it keeps is what an index line can hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "names/smi_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SmiFile file;
    int read = SmiReadText(std::string_view(reinterpret_cast<const char*>(data), size), file);
    if (read != (file.error.empty() ? 1 : 0) || (read == 1 && file.modules.empty())) {
        std::abort();
    }
    for (const SmiModule& module : file.modules) {
        for (const SmiDefinition& definition : module.definitions) {
            if (definition.arcs.size() > kSmiMaxArcs || definition.name.empty() ||
                definition.name.find_first_of(" \n") != std::string::npos) {
                std::abort();
            }
        }
    }
    return 0;
}
