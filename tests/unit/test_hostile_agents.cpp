// The built program against agents that answer badly: every run ends in the
// right result (where a good answer follows the bad datagrams, or where the
// answer is large but well formed) or in a clean time-out, never in a signal or
// a hang. Built with sanitizers, a read past a list's end fails the run too.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_processes.h"

namespace {

using testsupport::RunProgram;
using testsupport::TestAgent;

const char* const kObjects = "1.3.6.1.2.1.1.1.0 string test agent\n"
                             "1.3.6.1.2.1.1.5.0 string host5\n";
const char* const kSysDescr = "1.3.6.1.2.1.1.1.0";
const char* const kSysName = "1.3.6.1.2.1.1.5.0";

const std::string kBanner = "\nmibcli - Simple Network Management Protocol Tool for Win32\n\n";
const std::string kTimedOut =
    kBanner + "\nmibcli: No response from agent (Request timed out).\n"
              "\nVerify the IP address and community name are correct and try pinging the host.\n";
constexpr int kFailedStatus = 254;  // -2 as an exit status

const std::string kStatusLines = "  ErrorStatus: 0 (No Error)\n   ErrorIndex: 0\n\n";
const std::string kDescrBinding = "         Name: system.sysDescr.0 \n"
                                  "          OID: 1.3.6.1.2.1.1.1.0 \n"
                                  "         Type: OCTET STRING\n"
                                  "       Length: 10\n"
                                  "        Value: test agent \n"
                                  " Binary Value: 0x74736574\n\n";
const std::string kNameBinding = "         Name: system.sysName.0 \n"
                                 "          OID: 1.3.6.1.2.1.1.5.0 \n"
                                 "         Type: OCTET STRING\n"
                                 "       Length: 5\n"
                                 "        Value: host5 \n"
                                 " Binary Value: 0x74736F68\n\n";

std::string Numbered(int number, const std::string& binding)
{
    return "    varbind " + std::to_string(number) + ": \n" + binding;
}

const std::string kBothAnswered =
    kStatusLines + Numbered(1, kDescrBinding) + Numbered(2, kNameBinding);

// The padding fills the first binding so that the whole message is 65507
// bytes, the largest UDP payload: this many bytes are left for its value.
constexpr size_t kPaddingBytes = 65435;
const std::string kOversized = kStatusLines +
                               Numbered(1, "         Name: system.sysDescr.0 \n"
                                           "          OID: 1.3.6.1.2.1.1.1.0 \n"
                                           "         Type: OCTET STRING\n"
                                           "       Length: " +
                                               std::to_string(kPaddingBytes) +
                                               "\n"
                                               "        Value: " +
                                               std::string(kPaddingBytes, 'p') +
                                               " \n"
                                               " Binary Value: 0x70707070\n\n") +
                               Numbered(2, kNameBinding);

struct HostileCase {
    const char* behaviour;
    std::vector<std::string> command;  // kAgent stands for the agent and community
    std::string out;                   // empty: a clean time-out is expected
};

const char* const kAgent = "AGENT";
const std::vector<std::string> kGetBoth = {"get", kAgent, kSysDescr, kSysName};

const HostileCase kCases[] = {
    // Bad datagrams before the right answer: the answer still counts.
    {"junk-flood-first=200", kGetBoth, kBothAnswered},
    {"malformed-first", kGetBoth, kBothAnswered},
    {"wrong-id-first", kGetBoth, kBothAnswered},
    {"other-port-first", kGetBoth, kBothAnswered},
    // Odd but well formed: the whole answer counts.
    {"oversized=65507", kGetBoth, kOversized},
    // Only bad answers: nothing to take, the request times out.
    {"truncated", kGetBoth, ""},
    {"nested", kGetBoth, ""},
    {"length-lying", kGetBoth, ""},
    {"wrong-pdu-type", kGetBoth, ""},
    // Bindings that do not match the request one for one cannot be matched
    // to what was asked: such answers are dropped too.
    {"extra-binding", kGetBoth, ""},
    {"missing-binding", kGetBoth, ""},
};

TEST(HostileAgents, EachEndsInTheRightResultOrACleanTimeOut)
{
    for (const HostileCase& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.command) + " against " + c.behaviour);
        TestAgent agent(kObjects, {"--behave", c.behaviour});
        ASSERT_TRUE(agent.Ready()) << agent.Failure();

        std::vector<std::string> argv = {MIBCLI_PATH, "-t", "300", "-r", "1"};
        for (const std::string& word : c.command) {
            if (word == kAgent) {
                argv.insert(argv.end(), {agent.Address(), "public"});
            } else {
                argv.push_back(word);
            }
        }

        const auto result = RunProgram(argv, {}, std::nullopt, 10000);
        ASSERT_TRUE(result.started);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.signal, 0);
        if (c.out.empty()) {
            EXPECT_EQ(result.exitCode, kFailedStatus);
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err, kTimedOut);
        } else {
            EXPECT_EQ(result.exitCode, 0);
            EXPECT_EQ(result.out, c.out);
            EXPECT_EQ(result.err.substr(0, kBanner.size()), kBanner);
        }
    }
}

}  // namespace
