// The bundled test agent, checked from outside where the other tests trust it:
// GETNEXT in identifier order, the request log, and the RFC 1157 error statuses.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ber/ber_codec.h"
#include "test_processes.h"

using testsupport::TestAgent;

namespace {

const char* kObjects = "# out of order on purpose: the agent sorts\n"
                       "1.3.6.1.2.1.1.5.0 rw:string host\n"
                       "1.3.6.1.2.1.1.10.0 counter 7\n"
                       "1.3.6.1.2.1.1.1.0 string Test agent\n"
                       "1.3.6.1.2.1.1.4.0 rw:string admin\n"
                       "1.3.6.1.2.1.1.3.0 timeticks 12345\n";

std::vector<uint32_t> Ids(const std::string& dotted)
{
    std::vector<uint32_t> ids;
    for (size_t start = 0; start <= dotted.size();) {
        const size_t dot = dotted.find('.', start);
        ids.push_back(static_cast<uint32_t>(std::stoul(dotted.substr(start, dot - start))));
        start = dot == std::string::npos ? dotted.size() + 1 : dot + 1;
    }
    return ids;
}

// One binding: a NULL value, an OCTET STRING holding `text`, or the INTEGER 5.
struct Wanted {
    std::string name;
    uint8_t tag = ASN_NULL;
    std::string text = "";
};

// Sends one request and decodes the answer; false when none came or it did not decode.
bool Ask(TestAgent& agent, uint8_t pduType, const std::vector<Wanted>& wanted, SnmpMessage& answer,
         const std::string& community = "public")
{
    std::vector<std::vector<uint32_t>> ids;
    std::vector<std::string> texts;
    for (const Wanted& w : wanted) {
        ids.push_back(Ids(w.name));
        texts.push_back(w.text);
    }
    std::vector<SnmpVarBind> bindings(wanted.size());
    for (size_t i = 0; i < wanted.size(); ++i) {
        bindings[i].name = {static_cast<uint32_t>(ids[i].size()), ids[i].data()};
        bindings[i].value.tag = wanted[i].tag;
        if (wanted[i].tag == ASN_INTEGER) {
            bindings[i].value.data.integer = 5;
        } else if (wanted[i].tag == ASN_OCTETSTRING) {
            bindings[i].value.data.bytes = {reinterpret_cast<uint8_t*>(texts[i].data()),
                                            static_cast<uint32_t>(texts[i].size()), 0};
        }
    }
    SnmpMessage request;
    request.community = community;
    request.pduType = pduType;
    request.requestId = 77;
    request.bindings = {bindings.data(), static_cast<uint32_t>(bindings.size())};
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(EncodeMessage(request, bytes));
    const auto datagram = testsupport::UdpExchange(agent.Address(), bytes);
    return datagram && DecodeMessage(datagram->data(), datagram->size(), answer);
}

std::string NameOf(const SnmpMessage& m, uint32_t i)
{
    std::string text = "";
    const AsnObjectIdentifier& name = m.bindings.bindings[i].name;
    for (uint32_t k = 0; k < name.count; ++k) {
        text += (k ? "." : "") + std::to_string(name.ids[k]);
    }
    return text;
}

TEST(TestAgent, GetNextGoesInIdentifierOrderAndTheLogHoldsEveryRequest)
{
    TestAgent agent(kObjects);
    ASSERT_TRUE(agent.Ready()) << agent.Failure();
    std::vector<std::string> walked;
    std::string next = "1.3.6.1.2.1.1";
    for (int i = 0; i < 10; ++i) {
        SnmpMessage a;
        ASSERT_TRUE(Ask(agent, PDU_GETNEXT, {{next}}, a));
        const bool end = a.errorStatus != SNMP_ERROR_NOERROR;
        if (!end) {
            next = NameOf(a, 0);
            walked.push_back(next);
        }
        FreeMessage(a);
        if (end) {
            break;
        }
    }
    // Numeric, not textual, order: .10.0 comes after .5.0.
    EXPECT_EQ(walked, (std::vector<std::string>{"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.3.0",
                                                "1.3.6.1.2.1.1.4.0", "1.3.6.1.2.1.1.5.0",
                                                "1.3.6.1.2.1.1.10.0"}));
    SnmpMessage set;
    ASSERT_TRUE(
        Ask(agent, PDU_SET, {{"1.3.6.1.2.1.1.4.0", ASN_OCTETSTRING, "abc"}}, set, "private"));
    EXPECT_EQ(set.errorStatus, SNMP_ERROR_NOERROR);
    FreeMessage(set);
    const std::vector<std::string> log = agent.LogLines();
    ASSERT_EQ(log.size(), 7u);
    EXPECT_EQ(log[0], "GETNEXT 1.3.6.1.2.1.1");
    EXPECT_EQ(log[5], "GETNEXT 1.3.6.1.2.1.1.10.0");
    EXPECT_EQ(log[6], "SET 1.3.6.1.2.1.1.4.0 04 616263");
}

TEST(TestAgent, ErrorStatusesFollowRfc1157)
{
    TestAgent agent(kObjects, {"--max-size", "200"});
    ASSERT_TRUE(agent.Ready()) << agent.Failure();
    const std::string descr = "1.3.6.1.2.1.1.1.0";
    const std::string contact = "1.3.6.1.2.1.1.4.0";
    struct Row {
        const char* what;
        uint8_t pduType;
        std::vector<Wanted> bindings;
        const char* community;
        int32_t status;
        int32_t index;
    };
    const std::vector<Row> rows = {
        {"unknown object",
         PDU_GET,
         {{descr}, {"1.3.6.1.2.1.1.2.0"}},
         "public",
         SNMP_ERROR_NOSUCHNAME,
         2},
        {"past the last object",
         PDU_GETNEXT,
         {{"1.3.6.1.2.1.1.10.0"}},
         "public",
         SNMP_ERROR_NOSUCHNAME,
         1},
        {"read-only object",
         PDU_SET,
         {{descr, ASN_OCTETSTRING, "x"}},
         "private",
         SNMP_ERROR_READONLY,
         1},
        {"wrong type", PDU_SET, {{contact, ASN_INTEGER}}, "private", SNMP_ERROR_BADVALUE, 1},
        {"second binding fails",
         PDU_SET,
         {{contact, ASN_OCTETSTRING, "new"}, {"1.3.6.1.2.1.1.9.0", ASN_OCTETSTRING, "x"}},
         "private",
         SNMP_ERROR_NOSUCHNAME,
         2},
        {"read community writes",
         PDU_SET,
         {{contact, ASN_OCTETSTRING, "new"}},
         "public",
         SNMP_ERROR_NOSUCHNAME,
         1},
        {"answer too big", PDU_GET, std::vector<Wanted>(12, {descr}), "public", SNMP_ERROR_TOOBIG,
         0},
    };
    for (const Row& row : rows) {
        SnmpMessage a;
        ASSERT_TRUE(Ask(agent, row.pduType, row.bindings, a, row.community)) << row.what;
        EXPECT_EQ(a.requestId, 77) << row.what;
        EXPECT_EQ(a.errorStatus, row.status) << row.what;
        EXPECT_EQ(a.errorIndex, row.index) << row.what;
        // An error answer carries the request's bindings back.
        EXPECT_EQ(a.bindings.count, row.bindings.size()) << row.what;
        FreeMessage(a);
    }
    // Nothing of the failed sets was stored.
    SnmpMessage a;
    ASSERT_TRUE(Ask(agent, PDU_GET, {{contact}}, a));
    const AsnOctetString& value = a.bindings.bindings[0].value.data.bytes;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(value.stream), value.length), "admin");
    FreeMessage(a);
    EXPECT_EQ(agent.Stop(), 0) << "SIGTERM ends the agent cleanly";
}

}  // namespace
