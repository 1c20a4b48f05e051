// The request session and the error report: one process-wide session that
// kept-open requests share and single requests replace, the words for a
// request without an answer and for a failed open; and, through the built
// program, requests to the system's snmpd: several objects in one GET,
// noSuchName, and SETs of the writable system objects read back.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stream_capture.h"
#include "test_processes.h"
#include "tool.h"

namespace {

using testsupport::RunProgram;
using testsupport::TestAgent;

const char* const kObjects = "1.3.6.1.4.1.99999.1.0 integer 5\n"
                             "1.3.6.1.4.1.99999.2.0 string two\n";

// A list of one binding with a NULL value, owned by the test.
struct OneBinding {
    SnmpVarBindList list{};
    explicit OneBinding(const char* name)
    {
        list.bindings = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind)));
        list.count = 1;
        SnmpMgrStrToOid(name, &list.bindings[0].name);
        list.bindings[0].value.tag = ASN_NULL;
    }
    ~OneBinding()
    {
        SnmpUtilVarBindListFree(&list);
    }
};

class RequestSession : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (g_session != nullptr) {
            SnmpMgrClose(g_session);
            g_session = nullptr;
        }
    }
    int Request(const std::string& agent, int keepOpen, uint32_t timeoutMs = 2000,
                uint32_t retries = 1)
    {
        OneBinding request("1.3.6.1.4.1.99999.1.0");
        int32_t status = -1;
        int32_t index = -1;
        const int result = DoRequest(agent.c_str(), "public", timeoutMs, retries, PDU_GET,
                                     &request.list, &status, &index, keepOpen);
        if (result == 0) {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(request.list.bindings[0].value.tag, ASN_INTEGER);
        }
        return result;
    }
};

TEST_F(RequestSession, KeptOpenRequestsShareTheFirstSessionAndASingleOneReplacesIt)
{
    TestAgent first(kObjects);
    TestAgent second(kObjects);
    ASSERT_TRUE(first.Ready()) << first.Failure();
    ASSERT_TRUE(second.Ready()) << second.Failure();

    EXPECT_EQ(Request(first.Address(), 1), 0);
    EXPECT_NE(g_session, nullptr);
    // The session stays with the first agent whatever this call names.
    EXPECT_EQ(Request(second.Address(), 1), 0);
    EXPECT_EQ(first.LogLines().size(), 2u);
    EXPECT_EQ(second.LogLines().size(), 0u);

    // Keep-open 0 closes the kept session, opens its own and closes it again.
    EXPECT_EQ(Request(second.Address(), 0), 0);
    EXPECT_EQ(g_session, nullptr);
    EXPECT_EQ(first.LogLines().size(), 2u);
    EXPECT_EQ(second.LogLines().size(), 1u);
}

TEST_F(RequestSession, NoAnswerGivesTheCodeTheReasonAndTheHint)
{
    TestAgent silent(kObjects, {"--behave", "silent"});
    ASSERT_TRUE(silent.Ready()) << silent.Failure();
    for (int keepOpen : {0, 1}) {
        StreamCapture out(stdout);
        StreamCapture err(stderr);
        EXPECT_EQ(Request(silent.Address(), keepOpen, 100, 1),
                  static_cast<int>(SNMP_MGMTAPI_TIMEOUT));
        EXPECT_EQ(
            err.Take(),
            "\nmibcli: No response from agent (Request timed out).\n"
            "\nVerify the IP address and community name are correct and try pinging the host.\n");
        EXPECT_EQ(out.Take(), "");
        // A failed request leaves a kept session open for the next pass.
        EXPECT_EQ(g_session != nullptr, keepOpen == 1);
    }
    // One try and one retry for each of the two requests.
    EXPECT_EQ(silent.LogLines().size(), 4u);
}

// ---- Through the program, against the system's snmpd -----------------------

testsupport::ProcessResult Mibcli(const std::vector<std::string>& words)
{
    std::vector<std::string> argv = {MIBCLI_PATH};
    argv.insert(argv.end(), words.begin(), words.end());
    return RunProgram(argv);
}

std::string OctetStringBinding(uint32_t number, const std::string& name, const std::string& oid,
                               const std::string& value)
{
    uint32_t binary = 0;
    for (size_t i = 0; i < value.size() && i < 4; ++i) {
        binary |= static_cast<uint32_t>(static_cast<uint8_t>(value[i])) << (8 * i);
    }
    char binaryText[16];
    snprintf(binaryText, sizeof binaryText, "0x%X", binary);
    return "    varbind " + std::to_string(number) + ": \n         Name: " + name +
           " \n          OID: " + oid +
           " \n         Type: OCTET STRING\n       Length: " + std::to_string(value.size()) +
           "\n        Value: " + value + " \n Binary Value: " + binaryText + "\n\n";
}

const char* const kBannerLines = "\nmibcli - Simple Network Management Protocol Tool for Win32\n\n";
const char* const kNoError = "  ErrorStatus: 0 (No Error)\n   ErrorIndex: 0\n\n";

TEST(RequestsToSnmpd, SetTheWritableSystemObjectsAndReadThemBack)
{
    SNMPD_OR_END_TEST(snmpd);
    const std::string agent = snmpd.Address();
    const std::string contact = "ops desk <ops@example.net>";
    const std::string name = "core-7";
    const std::string location = "Rack 4, row B";
    const std::string expected =
        std::string(kNoError) +
        OctetStringBinding(1, "system.sysContact.0", "1.3.6.1.2.1.1.4.0", contact) +
        OctetStringBinding(2, "system.sysName.0", "1.3.6.1.2.1.1.5.0", name) +
        OctetStringBinding(3, "system.sysLocation.0", "1.3.6.1.2.1.1.6.0", location);

    const auto set = Mibcli({"set", agent, "private", "system.sysContact.0", "2", contact,
                             "system.sysName.0", "2", name, "system.sysLocation.0", "2", location});
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(set.out, expected);
    EXPECT_EQ(set.err, kBannerLines);

    const auto get = Mibcli(
        {"get", agent, "public", "1.3.6.1.2.1.1.4.0", "1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.6.0"});
    EXPECT_EQ(get.exitCode, 0) << get.err;
    EXPECT_EQ(get.out, expected);

    // The read community may not write: noSuchName for the first binding (RFC 1157 section 4.1.5).
    const auto refused = Mibcli({"set", agent, "public", "system.sysName.0", "2", "other"});
    EXPECT_EQ(refused.exitCode, 0);
    EXPECT_EQ(
        refused.out.rfind("  ErrorStatus: 2 (No such variable name)\n   ErrorIndex: 1\n\n", 0), 0u)
        << refused.out;
}

TEST(RequestsToSnmpd, SeveralObjectsInOneGetAndNoSuchName)
{
    SNMPD_OR_END_TEST(snmpd);
    const std::string agent = snmpd.Address();
    const auto get = Mibcli(
        {"get", agent, "public", "system.sysDescr.0", "1.3.6.1.2.1.1.2.0", "system.sysUpTime.0"});
    ASSERT_EQ(get.exitCode, 0) << get.err;
    EXPECT_EQ(get.out.rfind(kNoError, 0), 0u) << get.out;
    for (const char* line :
         {"    varbind 1: \n         Name: system.sysDescr.0 \n          OID: 1.3.6.1.2.1.1.1.0 \n"
          "         Type: OCTET STRING\n",
          "    varbind 2: \n         Name: system.sysObjectID.0 \n          OID: 1.3.6.1.2.1.1.2.0 "
          "\n"
          "         Type: OBJECT IDENTIFIER\n",
          "    varbind 3: \n         Name: system.sysUpTime.0 \n          OID: 1.3.6.1.2.1.1.3.0 \n"
          "         Type: TimeTicks\n"}) {
        EXPECT_NE(get.out.find(line), std::string::npos) << line << "\nin\n" << get.out;
    }

    const auto missing =
        Mibcli({"get", agent, "public", "1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.99.0"});
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_EQ(
        missing.out,
        "  ErrorStatus: 2 (No such variable name)\n   ErrorIndex: 2\n\n"
        "    varbind 1: \n         Name: system.sysDescr.0 \n          OID: 1.3.6.1.2.1.1.1.0 \n"
        "         Type: NULL\n        Value: <No Data>\n\n"
        "    varbind 2: \n         Name: system.99.0 \n          OID: 1.3.6.1.2.1.1.99.0 \n"
        "         Type: NULL\n        Value: <No Data>\n\n");
}

}  // namespace
