// Any bytes as a command file: the reader returns the number of words it
// stored, each word non-empty, free of line ends, never a comment, with no
// space outside quotes; and every word and the array can be freed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tool.h"
#include "fuzz_memory_file.h"

namespace {

void CheckWord(const char* word)
{
    Require(word != nullptr);
    Require(word[0] != '\0');
    Require(word[0] != ';');
    bool insideQuotes = false;
    for (const char* c = word; *c != '\0'; ++c) {
        Require(*c != '\n');
        Require(*c != 26);
        Require(*c != ' ' || insideQuotes);
        if (*c == '"') {
            insideQuotes = !insideQuotes;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const MemoryFile file("command-file");
    const std::string path = file.Hold(data, size);

    int count = -1;
    char** words = nullptr;
    const int stored = ReadCommandFile(path.c_str(), &count, &words);
    Require(stored == count);
    Require((stored == 0) == (words == nullptr));
    for (int i = 0; i < count; ++i) {
        CheckWord(words[i]);
        SnmpUtilMemFree(words[i]);
    }
    SnmpUtilMemFree(words);
    return 0;
}
