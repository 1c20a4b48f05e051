// Set triples from any bytes: the input's lines are taken in pairs as the type
// word and the value word of a triple whose identifier is a fixed one, so that
// every input reaches the value parsers. A list that builds holds one binding
// per triple with the type's tag and a value that owns what it points to; a
// list that does not build is left empty.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tool.h"
#include "fuzz_require.h"

namespace {

constexpr char kSeparator = '\n';
constexpr char kIdentifier[] = "1.3.6.1.2.1.1.4.0";
constexpr uint32_t kIdentifierIds[] = {1, 3, 6, 1, 2, 1, 1, 4, 0};
bool SilenceOutput()
{
    const int null = open("/dev/null", O_WRONLY);
    Require(null >= 0 && dup2(null, STDOUT_FILENO) >= 0);
    close(null);
    return true;
}

// Every binding names the fixed identifier and holds a value of one of the
// types; an IpAddress is four bytes that the value owns.
void CheckBinding(const SnmpVarBind& binding, const char* typeWord)
{
    Require(binding.name.count == sizeof(kIdentifierIds) / sizeof(kIdentifierIds[0]));
    Require(std::memcmp(binding.name.ids, kIdentifierIds, sizeof(kIdentifierIds)) == 0);
    const uint32_t type = ParseDecimal(typeWord);
    Require(type >= 1 && type <= 8);
    if (binding.value.tag == ASN_IPADDRESS) {
        Require(binding.value.data.bytes.length == 4 && binding.value.data.bytes.dynamic != 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = SilenceOutput();
    (void)silenced;

    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == kSeparator) {
            pieces.emplace_back();
        } else {
            pieces.back().push_back(static_cast<char>(data[i]));
        }
    }
    const size_t triples = pieces.size() / 2;
    std::vector<char*> words;
    std::string identifier = kIdentifier;
    for (size_t t = 0; t < triples; ++t) {
        words.push_back(identifier.data());
        words.push_back(pieces[2 * t].data());
        words.push_back(pieces[2 * t + 1].data());
    }

    SnmpVarBindList list = {reinterpret_cast<SnmpVarBind*>(1), 99};
    const int built =
        BuildVarBindList(static_cast<int>(words.size()), words.data(), PDU_SET, &list);
    if (built == 1) {
        Require(list.count == triples);
        for (size_t t = 0; t < triples; ++t) {
            CheckBinding(list.bindings[t], words[3 * t + 1]);
        }
    } else {
        Require(built == 0 && list.count == 0 && list.bindings == nullptr);
    }
    SnmpUtilVarBindListFree(&list);
    return 0;
}
