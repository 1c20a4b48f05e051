// The variable binding list builder: the list's shape, the value of every set
// type as the request will carry it (tag and bytes), and that every refused
// build leaves nothing allocated (the ASan build checks the last part).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tool.h"

namespace {

// Owns the words handed to the builder, as argv would.
struct WordList {
    std::vector<std::string> texts;
    std::vector<char*> pointers;
    explicit WordList(std::vector<std::string> words) : texts(std::move(words))
    {
        for (std::string& text : texts) {
            pointers.push_back(text.data());
        }
    }
    int Count() const { return static_cast<int>(pointers.size()); }
    char** Data() { return pointers.data(); }
};

struct Built {
    int result;
    SnmpVarBindList list;
    std::string printed;
};

Built Build(std::vector<std::string> words, uint8_t toolMode)
{
    WordList list(std::move(words));
    Built built{};
    // Garbage in the caller's list must never be read or freed.
    built.list.bindings = reinterpret_cast<SnmpVarBind*>(0x1);
    built.list.count = 77;
    testing::internal::CaptureStdout();
    built.result = BuildVarBindList(list.Count(), list.Data(), toolMode, &built.list);
    fflush(stdout);
    built.printed = testing::internal::GetCapturedStdout();
    return built;
}

std::vector<uint32_t> Ids(const AsnObjectIdentifier& oid)
{
    return std::vector<uint32_t>(oid.ids, oid.ids + oid.count);
}

std::vector<uint8_t> Bytes(const AsnAny& value)
{
    return std::vector<uint8_t>(value.data.bytes.stream,
                                value.data.bytes.stream + value.data.bytes.length);
}

std::vector<uint8_t> TextBytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// One set triple on 1.3.6.1.2.1.1.4.0; the built value or a failure.
Built BuildSet(const std::string& type, const std::string& value)
{
    return Build({"1.3.6.1.2.1.1.4.0", type, value}, PDU_SET);
}

void ExpectRefused(const Built& built, const std::string& why)
{
    EXPECT_EQ(built.result, 0) << why;
    EXPECT_EQ(built.list.bindings, nullptr) << why;
    EXPECT_EQ(built.list.count, 0u) << why;
    EXPECT_EQ(built.printed, "") << why;
}

TEST(BuildVarBindList, IdentifiersBecomeNullBindingsInWordOrder)
{
    for (uint8_t mode : {uint8_t{PDU_GET}, uint8_t{PDU_GETNEXT}, uint8_t{TOOL_MODE_POLL},
                         uint8_t{TOOL_MODE_WALK}}) {
        Built built = Build({"1.3.6.1.2.1.1.1.0", ".1.3.6.1.2.1.1.5.0", "1.3.6.1.4.1.99999.7"}, mode);
        ASSERT_EQ(built.result, 1);
        ASSERT_EQ(built.list.count, 3u);
        EXPECT_EQ(Ids(built.list.bindings[0].name), (std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 1, 1, 0}));
        EXPECT_EQ(Ids(built.list.bindings[1].name), (std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 1, 5, 0}));
        EXPECT_EQ(Ids(built.list.bindings[2].name), (std::vector<uint32_t>{1, 3, 6, 1, 4, 1, 99999, 7}));
        for (uint32_t i = 0; i < built.list.count; ++i) {
            EXPECT_EQ(built.list.bindings[i].value.tag, ASN_NULL);
        }
        SnmpUtilVarBindListFree(&built.list);
    }
}

TEST(BuildVarBindList, NoWordsGiveAnEmptyList)
{
    Built built = Build({}, PDU_GET);
    EXPECT_EQ(built.result, 1);
    EXPECT_EQ(built.list.bindings, nullptr);
    EXPECT_EQ(built.list.count, 0u);
}

TEST(BuildVarBindList, NumberTypesReadTheWordModulo2To32)
{
    struct Case {
        const char* type;
        const char* value;
        uint8_t tag;
        uint32_t bits;
    };
    const Case cases[] = {
        {"1", "-5", ASN_INTEGER, static_cast<uint32_t>(-5)},
        {"1", "4294967295", ASN_INTEGER, 0xFFFFFFFFu},  // -1 as INTEGER
        {"1", "4294967296", ASN_INTEGER, 0},
        {"1", "abc", ASN_INTEGER, 0},
        {"1", " \t+72x", ASN_INTEGER, 72},
        {"5", "-1", ASN_COUNTER, 4294967295u},
        {"6", "4294967297", ASN_GAUGE, 1},
        {"7", "360000", ASN_TIMETICKS, 360000},
        {" +7", "5", ASN_TIMETICKS, 5},  // the type word follows the same rule
    };
    for (const Case& c : cases) {
        Built built = BuildSet(c.type, c.value);
        ASSERT_EQ(built.result, 1) << c.type << " " << c.value;
        ASSERT_EQ(built.list.count, 1u);
        const AsnAny& value = built.list.bindings[0].value;
        EXPECT_EQ(value.tag, c.tag) << c.type << " " << c.value;
        if (c.tag == ASN_INTEGER) {
            EXPECT_EQ(value.data.integer, static_cast<int32_t>(c.bits)) << c.value;
        } else {
            EXPECT_EQ(value.data.unsigned32, c.bits) << c.value;
        }
        SnmpUtilVarBindListFree(&built.list);
    }
}

TEST(BuildVarBindList, OctetStringTextAndBinaryForms)
{
    struct Case {
        const char* value;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"hello world", TextBytes("hello world")},
        // Quotes come from command files: a leading one and a closing one are
        // each dropped on their own; quotes inside stay.
        {"\"abc\"", TextBytes("abc")},
        {"\"abc", TextBytes("abc")},
        {"abc\"", TextBytes("abc")},
        {"a\"b", TextBytes("a\"b")},
        {"\"\"\"", TextBytes("\"")},
        // Binary: a 32-bit number stored least significant byte first.
        {"0x1234", {0x34, 0x12, 0x00, 0x00}},
        {"0XaB", {0xAB, 0x00, 0x00, 0x00}},
        {"0x123456789", {0x89, 0x67, 0x45, 0x23}},  // the last eight digits count
        {"0x", {0x00, 0x00, 0x00, 0x00}},
        {"0xzz", {0x00, 0x00, 0x00, 0x00}},
        {"\"0x10\"", {0x10, 0x00, 0x00, 0x00}},
        {"0xFFFFFFFF", {0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        Built built = BuildSet("2", c.value);
        ASSERT_EQ(built.result, 1) << c.value;
        const AsnAny& value = built.list.bindings[0].value;
        EXPECT_EQ(value.tag, ASN_OCTETSTRING) << c.value;
        EXPECT_NE(value.data.bytes.dynamic, 0) << c.value;
        EXPECT_EQ(Bytes(value), c.bytes) << c.value;
        SnmpUtilVarBindListFree(&built.list);
    }
}

TEST(BuildVarBindList, ObjectIdentifierValuesAreNumbersOnly)
{
    struct Case {
        const char* value;
        std::vector<uint32_t> ids;
    };
    const Case cases[] = {
        {".1.3.6.1", {1, 3, 6, 1}},
        {"1.3.6.1", {1, 3, 6, 1}},
        {"1..3", {1, 0, 3}},
        {"1.2.", {1, 2, 0}},
        {"", {0}},
        {"system", {0}},  // names are not looked up
        {"1.3.4294967295.4294967296", {1, 3, 4294967295u, 0}},
    };
    for (const Case& c : cases) {
        Built built = BuildSet("3", c.value);
        ASSERT_EQ(built.result, 1) << c.value;
        const AsnAny& value = built.list.bindings[0].value;
        EXPECT_EQ(value.tag, ASN_OBJECTIDENTIFIER) << c.value;
        EXPECT_EQ(Ids(value.data.object), c.ids) << c.value;
        SnmpUtilVarBindListFree(&built.list);
    }
}

TEST(BuildVarBindList, IpAddressNeedsExactlyFourParts)
{
    struct Case {
        const char* value;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"10.0.0.1", {10, 0, 0, 1}},
        {"300.1.1.1", {0x2C, 1, 1, 1}},
        {"-1.0.0.256", {0xFF, 0, 0, 0}},
        {"10.0.0.1x", {10, 0, 0, 1}},
        {"...", {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        Built built = BuildSet("4", c.value);
        ASSERT_EQ(built.result, 1) << c.value;
        const AsnAny& value = built.list.bindings[0].value;
        EXPECT_EQ(value.tag, ASN_IPADDRESS) << c.value;
        EXPECT_NE(value.data.bytes.dynamic, 0);
        EXPECT_EQ(Bytes(value), c.bytes) << c.value;
        SnmpUtilVarBindListFree(&built.list);
    }
    for (const char* refused : {"10.0.0", "10.0.0.1.5", "", "10.0.0.1."}) {
        ExpectRefused(BuildSet("4", refused), refused);
    }
}

TEST(BuildVarBindList, OpaqueKeepsTheWordAsItStands)
{
    Built built = BuildSet("8", "\"a b\"");
    ASSERT_EQ(built.result, 1);
    const AsnAny& value = built.list.bindings[0].value;
    EXPECT_EQ(value.tag, ASN_OPAQUE);
    EXPECT_NE(value.data.bytes.dynamic, 0);
    EXPECT_EQ(Bytes(value), TextBytes("\"a b\""));
    SnmpUtilVarBindListFree(&built.list);

    built = BuildSet("8", "0x12");
    ASSERT_EQ(built.result, 1);
    EXPECT_EQ(Bytes(built.list.bindings[0].value), TextBytes("0x12"));
    SnmpUtilVarBindListFree(&built.list);
}

TEST(BuildVarBindList, RefusedSetWordsPrintNothingAndFreeEverything)
{
    const char* badTypes[] = {"0", "9", "x", "-1", "4294967305", ""};
    for (const char* type : badTypes) {
        ExpectRefused(BuildSet(type, "1"), std::string("type ") + type);
    }
    for (const char* empty : {"", "\"", "\"\""}) {
        ExpectRefused(BuildSet("2", empty), std::string("octet string ") + empty);
    }
    ExpectRefused(BuildSet("8", ""), "empty opaque");
    ExpectRefused(Build({"1.3.6.1.2.1.1.4.0"}, PDU_SET), "no type word");
    ExpectRefused(Build({"1.3.6.1.2.1.1.4.0", "2"}, PDU_SET), "no value word");
    // A refusal in the third triple frees the two built before it, with their
    // names and their allocated values.
    ExpectRefused(Build({"1.3.6.1.2.1.1.4.0", "2", "abc", "1.3.6.1.2.1.1.5.0", "3", "1.3.6",
                         "1.3.6.1.2.1.1.6.0", "4", "10.0.0"},
                        PDU_SET),
                  "third triple");
}

TEST(BuildVarBindList, SeveralTriplesKeepTheirOrder)
{
    Built built = Build({"1.3.6.1.2.1.1.4.0", "2", "\"ops\"", "1.3.6.1.2.1.1.7.0", "1", "72",
                         "1.3.6.1.4.1.99999.1.0", "4", "192.168.1.2"},
                        PDU_SET);
    ASSERT_EQ(built.result, 1);
    ASSERT_EQ(built.list.count, 3u);
    EXPECT_EQ(Ids(built.list.bindings[1].name), (std::vector<uint32_t>{1, 3, 6, 1, 2, 1, 1, 7, 0}));
    EXPECT_EQ(Bytes(built.list.bindings[0].value), TextBytes("ops"));
    EXPECT_EQ(built.list.bindings[1].value.data.integer, 72);
    EXPECT_EQ(Bytes(built.list.bindings[2].value), (std::vector<uint8_t>{192, 168, 1, 2}));
    SnmpUtilVarBindListFree(&built.list);
}

TEST(BuildVarBindList, RejectedIdentifierIsNamedAndFreesEarlierBindings)
{
    Built built = Build({"1.3.6.1.2.1.1.1.0", "no-such-object-name"}, PDU_GET);
    EXPECT_EQ(built.result, 0);
    EXPECT_EQ(built.list.bindings, nullptr);
    EXPECT_EQ(built.list.count, 0u);
    const std::string line =
        "mibcli: Error: Unknown or invalid OID specified (no-such-object-name).\n";
    ASSERT_GE(built.printed.size(), line.size());
    EXPECT_EQ(built.printed.substr(0, line.size()), line);
    // Anything after the line is the system error report, labelled.
    if (built.printed.size() > line.size()) {
        EXPECT_EQ(built.printed.substr(line.size(), 25), "SnmpMgrStrToOid() Error: ");
    }

    built = Build({"1.3.6.1.2.1.1.4.0", "2", "abc", "1.3.6.1.bad", "1", "5"}, PDU_SET);
    EXPECT_EQ(built.result, 0);
    EXPECT_EQ(built.list.count, 0u);
    EXPECT_EQ(built.printed.rfind("mibcli: Error: Unknown or invalid OID specified (1.3.6.1.bad).\n", 0),
              0u);
}

#if defined(__SANITIZE_ADDRESS__)
#define BUILT_WITH_ASAN 1
#else
#define BUILT_WITH_ASAN 0
#endif

// The value's storage cannot be had: a child process limits its address
// space so that a large Opaque value cannot be allocated.
TEST(BuildVarBindList, ValueStorageThatCannotBeHadIsReported)
{
    if (BUILT_WITH_ASAN) {
        GTEST_SKIP() << "an address-space limit cannot be combined with the sanitizer's shadow memory";
    }
    char outputPath[] = "/tmp/varbind-nomem-XXXXXX";
    const int outputFd = mkstemp(outputPath);
    ASSERT_GE(outputFd, 0);
    fflush(stdout);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(outputFd, STDOUT_FILENO);
        constexpr size_t kValueBytes = 128u << 20;
        std::string big(kValueBytes, 'v');
        std::vector<std::string> words = {"1.3.6.1.2.1.1.1.0", "1", "5", "1.3.6.1.4.1.1.0", "8", big};
        std::vector<char*> pointers;
        for (std::string& word : words) {
            pointers.push_back(word.data());
        }
        // Room for small allocations but not for a copy of the value.
        std::ifstream statm("/proc/self/statm");
        size_t pages = 0;
        statm >> pages;
        const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (32u << 20);
        const rlimit cap = {limit, limit};
        if (setrlimit(RLIMIT_AS, &cap) != 0) {
            _exit(3);
        }
        SnmpVarBindList list = {nullptr, 0};
        const int result = BuildVarBindList(6, pointers.data(), PDU_SET, &list);
        fflush(stdout);
        _exit(result == 0 && list.bindings == nullptr && list.count == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::ifstream printedFile(outputPath);
    std::stringstream printed;
    printed << printedFile.rdbuf();
    close(outputFd);
    unlink(outputPath);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(printed.str().rfind("SnmpUtilMemAlloc() Error: 1001\n", 0), 0u) << printed.str();
}

}  // namespace
