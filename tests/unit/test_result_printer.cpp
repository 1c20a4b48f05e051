// The result printer, byte for byte: status lines, the layout of every value
// type with its Length and Binary Value rules, walk mode, identifiers of any
// length, and the masking of control bytes on a terminal.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stream_capture.h"
#include "terminal_safety.h"
#include "tool.h"
#include "walk_mib.h"

namespace {

// Test values own their bytes and identifiers here; the printer only reads them.
struct Owned {
    std::vector<std::vector<uint8_t>> bytes;
    std::vector<std::vector<uint32_t>> ids;

    AsnObjectIdentifier Oid(std::vector<uint32_t> values)
    {
        ids.push_back(std::move(values));
        return {static_cast<uint32_t>(ids.back().size()), ids.back().empty() ? nullptr : ids.back().data()};
    }
    AsnAny Bytes(uint8_t tag, const std::string& text, uint32_t length)
    {
        bytes.emplace_back(text.begin(), text.end());
        AsnAny any{};
        any.tag = tag;
        any.data.bytes = {bytes.back().empty() ? nullptr : bytes.back().data(), length, 0};
        return any;
    }
    AsnAny Bytes(uint8_t tag, const std::string& text)
    {
        return Bytes(tag, text, static_cast<uint32_t>(text.size()));
    }
};

AsnAny Integer(int32_t number)
{
    AsnAny any{};
    any.tag = ASN_INTEGER;
    any.data.integer = number;
    return any;
}

// The Name line the layer's names give for `oid`, or nothing.
std::string NameLine(const AsnObjectIdentifier& oid)
{
    char* name = nullptr;
    SnmpMgrOidToStr(&oid, &name);
    if (name == nullptr) {
        return "";
    }
    std::string line = std::string("         Name: ") + name + " \n";
    SnmpUtilMemFree(name);
    return line;
}

std::string Printed(const std::vector<SnmpVarBind>& bindings)
{
    SnmpVarBindList list{const_cast<SnmpVarBind*>(bindings.data()), static_cast<uint32_t>(bindings.size())};
    StreamCapture out(stdout);
    PrintVarBinds(&list);
    return out.Take();
}

class PrinterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_toolMode = PDU_GET;
        name_ = owned_.Oid({1, 3, 6, 1, 4, 1, 99999, 7});
    }
    void TearDown() override { g_toolMode = PDU_GET; }

    // One binding named 1.3.6.1.4.1.99999.7 holding `value`, printed outside a walk.
    std::string PrintOne(const AsnAny& value)
    {
        return Printed({{name_, value}});
    }
    std::string Head() { return "    varbind 1: \n" + NameLine(name_) + "          OID: 1.3.6.1.4.1.99999.7 \n"; }

    Owned owned_;
    AsnObjectIdentifier name_{};
};

TEST_F(PrinterTest, StatusLinesNameEveryStatusAndOnlyForFlagOne)
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

// The wire end-to-end cases show every type as agents send it; these are the
// values no agent can send: lengths with every bit set, empty identifiers and
// addresses, and tags outside SNMPv1.
TEST_F(PrinterTest, LengthAndValueRulesBeyondWhatTheWireCarries)
{
    const std::string octets = "         Type: OCTET STRING\n";
    EXPECT_EQ(PrintOne(owned_.Bytes(ASN_OCTETSTRING, std::string("ab\0\0", 4), 0xFFFFFFFF)),
              Head() + octets + "        Value: ab \n Binary Value: 0x6261\n\n");
    EXPECT_EQ(PrintOne(owned_.Bytes(ASN_OCTETSTRING, "")),
              Head() + octets + "       Length: 0\n        Value:  \n Binary Value: 0x0\n\n");
    EXPECT_EQ(PrintOne(owned_.Bytes(ASN_IPADDRESS, "")),
              Head() + "         Type: IpAddress\n       Length: 0\n        Value: <No Data>\n\n");
    EXPECT_EQ(PrintOne(owned_.Bytes(ASN_SEQUENCE, "")),
              Head() + "         Type: SEQUENCE\n       Length: 0\n        Value:  \n\n");

    AsnAny oid{};
    oid.tag = ASN_OBJECTIDENTIFIER;
    oid.data.object = owned_.Oid({});
    EXPECT_EQ(PrintOne(oid),
              Head() + "         Type: OBJECT IDENTIFIER\n       Length: 0\n        Value: <No Data>\n\n");

    for (int tag : {0x00, 0x01, 0x47, 0xFF}) {
        EXPECT_EQ(PrintOne(owned_.Bytes(static_cast<uint8_t>(tag), "12345678")),
                  Head() + "         Type: Unknown\n       Length: 0\n        Value: <No Data>\n\n")
            << tag;
    }

    AsnObjectIdentifier none{};
    EXPECT_EQ(Printed({{none, Integer(-1)}}),
              "    varbind 1: \n          OID: \n         Type: INTEGER\n        Value: -1 \n\n");
}

TEST_F(PrinterTest, HeadersNumberTheBindingsExceptDuringAWalk)
{
    std::vector<SnmpVarBind> bindings;
    for (uint32_t i = 1; i <= 3; ++i) {
        bindings.push_back({owned_.Oid({1, 3, 6, 1, 4, 1, 99999, i}), Integer(static_cast<int32_t>(i))});
    }
    auto expected = [&](bool headers) {
        std::string text;
        for (uint32_t i = 1; i <= 3; ++i) {
            if (headers) {
                text += "    varbind " + std::to_string(i) + ": \n";
            }
            text += NameLine(bindings[i - 1].name) + "          OID: 1.3.6.1.4.1.99999." + std::to_string(i) +
                    " \n         Type: INTEGER\n        Value: " + std::to_string(i) + " \n\n";
        }
        return text;
    };
    EXPECT_EQ(Printed(bindings), expected(true));
    g_toolMode = TOOL_MODE_TRAP;
    EXPECT_EQ(Printed(bindings), expected(true));
    g_toolMode = TOOL_MODE_WALK;
    EXPECT_EQ(Printed(bindings), expected(false));

    SnmpVarBindList list{bindings.data(), 3};
    StreamCapture out(stdout);
    PrintResponse(0, 0, &list, 0);
    EXPECT_EQ(out.Take(), expected(false));
    PrintVarBinds(nullptr);
    SnmpVarBindList empty{};
    PrintVarBinds(&empty);
    EXPECT_EQ(out.Take(), "");
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
    EXPECT_NE(printed.find("       Length: 1000\n        Value: " + dotted + " \n\n"), std::string::npos);
}

TEST(TerminalSafety, MasksControlBytesButTabLineFeedAndReturn)
{
    std::string text("a\x1b[2J\x07\tb\nc\rd\x7f\x01\x1f \x80\xc3\xa9~", 19);
    MaskControlBytes(text.data(), text.size());
    EXPECT_EQ(text, std::string("a.[2J.\tb\nc\rd... \x80\xc3\xa9~", 19));
}

// A pseudo-terminal in raw mode stands for the user's terminal.
class PseudoTerminal {
public:
    PseudoTerminal()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            return;
        }
        slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
        termios mode{};
        if (slave_ >= 0 && tcgetattr(slave_, &mode) == 0) {
            cfmakeraw(&mode);
            tcsetattr(slave_, TCSANOW, &mode);
        }
    }
    ~PseudoTerminal()
    {
        if (slave_ >= 0) {
            close(slave_);
        }
        if (master_ >= 0) {
            close(master_);
        }
    }
    bool Ready() const { return slave_ >= 0; }
    int Slave() const { return slave_; }
    // What the terminal received, until `expected` bytes came or two seconds passed.
    std::string Read(size_t expected)
    {
        std::string bytes;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (bytes.size() < expected && std::chrono::steady_clock::now() < deadline) {
            pollfd ready{master_, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) {
                continue;
            }
            char buffer[1024];
            const ssize_t got = read(master_, buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            bytes.append(buffer, static_cast<size_t>(got));
        }
        return bytes;
    }

private:
    int master_ = -1;
    int slave_ = -1;
};

TEST(TerminalSafety, ValuesReachATerminalMaskedAndAFileAsSent)
{
    Owned owned;
    const std::string hostile("\x1b]0;owned\x07" "red\tx", 15);
    std::vector<SnmpVarBind> bindings = {{owned.Oid({1, 3, 6, 1, 4, 1, 99999, 9}), owned.Bytes(ASN_OCTETSTRING, hostile)}};
    g_toolMode = TOOL_MODE_WALK;

    ForgetStdoutKind();
    const std::string toFile = Printed(bindings);
    EXPECT_NE(toFile.find("        Value: " + hostile + " \n"), std::string::npos);

    PseudoTerminal terminal;
    ASSERT_TRUE(terminal.Ready());
    fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(terminal.Slave(), STDOUT_FILENO);
    ForgetStdoutKind();
    SnmpVarBindList list{bindings.data(), 1};
    PrintVarBinds(&list);
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    ForgetStdoutKind();
    g_toolMode = PDU_GET;

    const std::string shown = terminal.Read(toFile.size());
    EXPECT_EQ(shown.size(), toFile.size());
    EXPECT_NE(shown.find("        Value: .]0;owned.red\tx \n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\x1b'), std::string::npos);
}

TEST(WalkOrder, ASuccessorIsGreaterInSubIdentifierOrder)
{
    Owned owned;
    const AsnObjectIdentifier asked = owned.Oid({1, 3, 6, 1, 2, 1, 1, 5, 0});
    EXPECT_TRUE(FollowsInWalkOrder(asked, owned.Oid({1, 3, 6, 1, 2, 1, 1, 6, 0})));
    EXPECT_TRUE(FollowsInWalkOrder(asked, owned.Oid({1, 3, 6, 1, 2, 1, 1, 5, 0, 1})));
    EXPECT_TRUE(FollowsInWalkOrder(asked, owned.Oid({1, 3, 6, 1, 2, 1, 2})));
    EXPECT_TRUE(FollowsInWalkOrder(asked, owned.Oid({1, 3, 6, 1, 2, 1, 1, 4294967295u})));
    EXPECT_FALSE(FollowsInWalkOrder(asked, asked));
    EXPECT_FALSE(FollowsInWalkOrder(asked, owned.Oid({1, 3, 6, 1, 2, 1, 1, 5})));
    EXPECT_FALSE(FollowsInWalkOrder(asked, owned.Oid({1, 3, 6, 1, 2, 1, 1, 4, 9, 9})));
    EXPECT_FALSE(FollowsInWalkOrder(asked, owned.Oid({})));
    // Unsigned order: a sub-identifier above 2^31 is large, not negative.
    EXPECT_FALSE(FollowsInWalkOrder(owned.Oid({1, 2147483648u}), owned.Oid({1, 2147483647u})));
    // From an empty start every name follows.
    EXPECT_TRUE(FollowsInWalkOrder(owned.Oid({}), owned.Oid({0})));
}

}  // namespace
