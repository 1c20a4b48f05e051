// The result printer where the wire end-to-end cases cannot reach: every error
// status name, identifiers far longer than any buffer, the control-byte mask,
// and the walk order of successors.
#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stream_capture.h"
#include "terminal_safety.h"
#include "tool.h"
#include "walk_mib.h"

namespace {

TEST(PrintResponse, StatusLinesNameEveryStatusAndOnlyForFlagOne)
{
    struct Case {
        int32_t status;
        const char* line;
    } cases[] = {
        {0, "  ErrorStatus: 0 (No Error)\n"},
        {1, "  ErrorStatus: 1 (Data is too big to return)\n"},
        {2, "  ErrorStatus: 2 (No such variable name)\n"},
        {3, "  ErrorStatus: 3 (Bad value sent)\n"},
        {4, "  ErrorStatus: 4 (Attempted writing to a read-only variable)\n"},
        {5, "  ErrorStatus: 5 (General error)\n"},
        {6, "  ErrorStatus: 6 (Unknown)\n"},
        {-1, "  ErrorStatus: 4294967295 (Unknown)\n"},
        {INT32_MIN, "  ErrorStatus: 2147483648 (Unknown)\n"},
    };
    for (const Case& c : cases) {
        StreamCapture out(stdout);
        PrintResponse(c.status, -2, nullptr, 1);
        EXPECT_EQ(out.Take(), std::string(c.line) + "   ErrorIndex: 4294967294\n\n") << c.status;
    }
    for (int flag : {0, 2, -1}) {
        StreamCapture out(stdout);
        PrintResponse(2, 1, nullptr, flag);
        EXPECT_EQ(out.Take(), "") << flag;
    }
}

TEST(DottedOid, LongIdentifiersArePrintedWhole)
{
    StreamCapture out(stdout);
    PrintDottedOid(nullptr);
    EXPECT_EQ(out.Take(), "");
    AsnObjectIdentifier empty{};
    PrintDottedOid(&empty);
    EXPECT_EQ(out.Take(), "\n");

    // Far past any line or buffer size: every sub-identifier of ten digits.
    std::vector<uint32_t> ids(1000, 4294967295u);
    ids[0] = 1;
    ids[999] = 0;
    std::string dotted = "1";
    for (size_t i = 1; i < ids.size() - 1; ++i) {
        dotted += ".4294967295";
    }
    dotted += ".0";
    AsnObjectIdentifier oid{static_cast<uint32_t>(ids.size()), ids.data()};
    PrintDottedOid(&oid);
    EXPECT_EQ(out.Take(), dotted + "\n");

    AsnAny value{};
    value.tag = ASN_OBJECTIDENTIFIER;
    value.data.object = oid;
    char* text = ValueToText(&value);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), dotted);
    SnmpUtilMemFree(text);

    g_toolMode = TOOL_MODE_WALK;
    SnmpVarBind binding{oid, value};
    SnmpVarBindList list{&binding, 1};
    PrintVarBinds(&list);
    g_toolMode = PDU_GET;
    const std::string printed = out.Take();
    EXPECT_NE(printed.find("          OID: " + dotted + " \n"), std::string::npos);
    EXPECT_NE(printed.find("       Length: 1000\n        Value: " + dotted + " \n\n"),
              std::string::npos);
}

TEST(TerminalSafety, MasksControlCharactersButTabLineFeedReturnAndText)
{
    struct Row {
        std::string in, out;
    };
    const Row rows[] = {
        {std::string("a\x1b[2J\x07\tb\nc\rd\x7f\x01\x1f ~", 17), "a.[2J.\tb\nc\rd... ~"},
        // C1 controls: CSI as UTF-8 U+009B and as a lone byte; UTF-8 text stays.
        {"\xc2\x9b"
         "2J",
         ".2J"},
        {"\x9b"
         "2J\x80",
         ".2J."},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xc2\xa0",
         "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 \xc2\xa0"},
        // Latin-1 text outside UTF-8 is left; a cut sequence's C1-range byte is masked.
        {"\xe9t\xe9 \xe2\x82", "\xe9t\xe9 \xe2."},
    };
    for (const Row& row : rows) {
        std::string text = row.in;
        text.resize(MaskControlBytes(text.data(), text.size()));
        EXPECT_EQ(text, row.out) << row.in;
    }
}

// The identifiers of the walk-order test, kept alive for the test's length.
std::vector<std::vector<uint32_t>> g_ids;

AsnObjectIdentifier Oid(std::vector<uint32_t> ids)
{
    g_ids.push_back(std::move(ids));
    return {static_cast<uint32_t>(g_ids.back().size()),
            g_ids.back().empty() ? nullptr : g_ids.back().data()};
}

TEST(WalkOrder, ASuccessorIsGreaterInSubIdentifierOrder)
{
    const AsnObjectIdentifier asked = Oid({1, 3, 6, 1, 2, 1, 1, 5, 0});
    EXPECT_TRUE(FollowsInWalkOrder(asked, Oid({1, 3, 6, 1, 2, 1, 1, 6, 0})));
    EXPECT_TRUE(FollowsInWalkOrder(asked, Oid({1, 3, 6, 1, 2, 1, 1, 5, 0, 1})));
    EXPECT_TRUE(FollowsInWalkOrder(asked, Oid({1, 3, 6, 1, 2, 1, 2})));
    EXPECT_TRUE(FollowsInWalkOrder(asked, Oid({1, 3, 6, 1, 2, 1, 1, 4294967295u})));
    EXPECT_FALSE(FollowsInWalkOrder(asked, asked));
    EXPECT_FALSE(FollowsInWalkOrder(asked, Oid({1, 3, 6, 1, 2, 1, 1, 5})));
    EXPECT_FALSE(FollowsInWalkOrder(asked, Oid({1, 3, 6, 1, 2, 1, 1, 4, 9, 9})));
    EXPECT_FALSE(FollowsInWalkOrder(asked, Oid({})));
    // Unsigned order: a sub-identifier above 2^31 is large, not negative.
    EXPECT_FALSE(FollowsInWalkOrder(Oid({1, 2147483648u}), Oid({1, 2147483647u})));
    // From an empty start every name follows.
    EXPECT_TRUE(FollowsInWalkOrder(Oid({}), Oid({0})));
}

}  // namespace
