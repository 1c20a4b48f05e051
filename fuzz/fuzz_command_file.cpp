// Any bytes as a command file: the reader returns the number of words it
// stored, each word non-empty, free of line ends, never a comment, with no
// space outside quotes; and every word and the array can be freed.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "tool.h"
#include "fuzz_require.h"

namespace {

// One file in memory for the whole run, rewritten for each input; the reader
// opens it by its /proc path as it would open any named file.
int CommandFile()
{
    static const int fd = memfd_create("command-file", 0);
    Require(fd >= 0);
    return fd;
}

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
    const int fd = CommandFile();
    Require(ftruncate(fd, 0) == 0);
    Require(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

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
