// The bundled test agent, checked from outside: against the peer's snmpwalk and
// snmpset, and datagram by datagram for the RFC 1157 answers and every
// misbehaviour that other tests lean on.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ber_codec.h"
#include "test_processes.h"

using testsupport::RunProgram;
using testsupport::TestAgent;

namespace {

const char* kObjects =
    "# out of order on purpose: the agent sorts\n"
    "1.3.6.1.2.1.1.5.0 rw:string host\n"
    "1.3.6.1.2.1.1.1.0 string Test agent\n"
    "\n"
    "1.3.6.1.2.1.1.4.0 rw:string admin\n"
    "1.3.6.1.2.1.1.3.0 timeticks 12345\n"
    "1.3.6.1.2.1.1.7.0 integer 72\n"
    "1.3.6.1.2.1.1.10.0 counter 7\n"
    "1.3.6.1.4.1.99999.1.0 raw:02 0000000001\n";

struct Datagram {
    std::vector<uint8_t> bytes;
    uint16_t fromPort = 0;
};

// An unconnected client socket, so that answers from any port are seen.
class Client {
public:
    Client()
    {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    ~Client() { close(fd_); }

    void Send(uint16_t port, const std::vector<uint8_t>& bytes)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

    std::optional<Datagram> Receive(int timeoutMs = 2000)
    {
        pollfd waiting = {fd_, POLLIN, 0};
        if (poll(&waiting, 1, timeoutMs) <= 0) {
            return std::nullopt;
        }
        Datagram datagram;
        datagram.bytes.resize(65536);
        sockaddr_in from{};
        socklen_t length = sizeof from;
        ssize_t size = recvfrom(fd_, datagram.bytes.data(), datagram.bytes.size(), 0,
                                reinterpret_cast<sockaddr*>(&from), &length);
        datagram.bytes.resize(size > 0 ? static_cast<size_t>(size) : 0);
        datagram.fromPort = ntohs(from.sin_port);
        return datagram;
    }

private:
    int fd_ = -1;
};

// One binding to send: an identifier and a value made by the codec's rules.
struct Wanted {
    std::vector<uint32_t> name;
    uint8_t tag = ASN_NULL;
    std::string bytes;   // OCTET STRING content
    int32_t integer = 0;
};

std::vector<uint32_t> Ids(const std::string& dotted)
{
    std::vector<uint32_t> ids;
    size_t start = 0;
    while (start <= dotted.size()) {
        size_t dot = dotted.find('.', start);
        ids.push_back(static_cast<uint32_t>(std::stoul(dotted.substr(start, dot - start))));
        if (dot == std::string::npos) {
            break;
        }
        start = dot + 1;
    }
    return ids;
}

std::vector<uint8_t> Request(uint8_t pduType, const std::vector<Wanted>& wanted,
                             const std::string& community = "public", int32_t requestId = 77,
                             int32_t version = SNMP_VERSION_1)
{
    std::vector<Wanted> owned = wanted;
    std::vector<SnmpVarBind> bindings(owned.size());
    for (size_t i = 0; i < owned.size(); ++i) {
        bindings[i].name.count = static_cast<uint32_t>(owned[i].name.size());
        bindings[i].name.ids = owned[i].name.data();
        bindings[i].value.tag = owned[i].tag;
        if (owned[i].tag == ASN_OCTETSTRING) {
            bindings[i].value.data.bytes.stream = reinterpret_cast<uint8_t*>(owned[i].bytes.data());
            bindings[i].value.data.bytes.length = static_cast<uint32_t>(owned[i].bytes.size());
        } else if (owned[i].tag == ASN_INTEGER) {
            bindings[i].value.data.integer = owned[i].integer;
        }
    }
    SnmpMessage message;
    message.version = version;
    message.community = community;
    message.pduType = pduType;
    message.requestId = requestId;
    message.bindings.bindings = bindings.data();
    message.bindings.count = static_cast<uint32_t>(bindings.size());
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(EncodeMessage(message, bytes));
    return bytes;
}

Wanted Name(const std::string& dotted)
{
    Wanted wanted;
    wanted.name = Ids(dotted);
    return wanted;
}

Wanted Text(const std::string& dotted, const std::string& text)
{
    Wanted wanted = Name(dotted);
    wanted.tag = ASN_OCTETSTRING;
    wanted.bytes = text;
    return wanted;
}

// A decoded answer, released on destruction.
struct Answer {
    SnmpMessage message;
    bool decoded = false;
    ~Answer() { FreeMessage(message); }
    std::string Name(uint32_t i) const
    {
        std::string text;
        const AsnObjectIdentifier& name = message.bindings.bindings[i].name;
        for (uint32_t k = 0; k < name.count; ++k) {
            text += (k ? "." : "") + std::to_string(name.ids[k]);
        }
        return text;
    }
    std::string Bytes(uint32_t i) const
    {
        const AsnOctetString& bytes = message.bindings.bindings[i].value.data.bytes;
        return std::string(reinterpret_cast<const char*>(bytes.stream), bytes.length);
    }
};

void Decode(const Datagram& datagram, Answer& answer)
{
    answer.decoded = DecodeMessage(datagram.bytes.data(), datagram.bytes.size(), answer.message);
}

// Sends one request and decodes the single answer (which must come).
void Ask(TestAgent& agent, const std::vector<uint8_t>& request, Answer& answer)
{
    Client client;
    client.Send(agent.Port(), request);
    std::optional<Datagram> datagram = client.Receive();
    ASSERT_TRUE(datagram.has_value()) << "no answer";
    Decode(*datagram, answer);
    ASSERT_TRUE(answer.decoded);
}

std::vector<std::string> PeerEnvironment(const testsupport::TempDir& dir)
{
    return {"SNMP_PERSISTENT_DIR=" + dir.Path(), "MIBS=", "MIBDIRS=" + dir.Path()};
}

bool PeerToolsPresent()
{
    return access("/usr/bin/snmpwalk", X_OK) == 0 && access("/usr/bin/snmpset", X_OK) == 0;
}

}  // namespace

TEST(TestAgentPeer, WalkGivesTheFileInOrderAndSetIsReadBack)
{
    if (!PeerToolsPresent()) {
        if (testsupport::SkipAllowed()) {
            GTEST_SKIP() << "snmpwalk/snmpset (Debian package snmp) missing";
        }
        FAIL() << "snmpwalk/snmpset (Debian package snmp) missing";
    }
    TestAgent agent(kObjects);
    ASSERT_TRUE(agent.Ready()) << agent.Failure();
    testsupport::TempDir dir;
    auto walk = RunProgram({"/usr/bin/snmpwalk", "-v1", "-c", "public", "-On", "-Oe", agent.Address(), ".1"},
                           PeerEnvironment(dir), std::nullopt, 10000);
    EXPECT_EQ(walk.exitCode, 0) << walk.err;
    EXPECT_EQ(walk.out,
              ".1.3.6.1.2.1.1.1.0 = STRING: \"Test agent\"\n"
              ".1.3.6.1.2.1.1.3.0 = Timeticks: (12345) 0:02:03.45\n"
              ".1.3.6.1.2.1.1.4.0 = STRING: \"admin\"\n"
              ".1.3.6.1.2.1.1.5.0 = STRING: \"host\"\n"
              ".1.3.6.1.2.1.1.7.0 = INTEGER: 72\n"
              ".1.3.6.1.2.1.1.10.0 = Counter32: 7\n"
              ".1.3.6.1.4.1.99999.1.0 = INTEGER: 1\n"
              "End of MIB\n");
    auto set = RunProgram({"/usr/bin/snmpset", "-v1", "-c", "private", "-On", agent.Address(),
                           "1.3.6.1.2.1.1.4.0", "s", "abc"},
                          PeerEnvironment(dir), std::nullopt, 10000);
    EXPECT_EQ(set.exitCode, 0) << set.err;
    auto get = RunProgram({"/usr/bin/snmpget", "-v1", "-c", "public", "-On", agent.Address(), "1.3.6.1.2.1.1.4.0"},
                          PeerEnvironment(dir), std::nullopt, 10000);
    EXPECT_EQ(get.out, ".1.3.6.1.2.1.1.4.0 = STRING: \"abc\"\n");
    // The log holds the SET's value bytes as they reached the agent.
    std::vector<std::string> log = agent.LogLines();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "SET 1.3.6.1.2.1.1.4.0 04 616263");
    EXPECT_EQ(log.back(), "GET 1.3.6.1.2.1.1.4.0");
}

TEST(TestAgentAnswers, ErrorStatusesFollowRfc1157)
{
    TestAgent agent(kObjects, {"--max-size", "200"});
    ASSERT_TRUE(agent.Ready()) << agent.Failure();
    {
        Answer a;
        Ask(agent, Request(PDU_GET, {Name("1.3.6.1.2.1.1.1.0"), Name("1.3.6.1.2.1.1.2.0")}), a);
        EXPECT_EQ(a.message.requestId, 77);
        EXPECT_EQ(a.message.errorStatus, SNMP_ERROR_NOSUCHNAME);
        EXPECT_EQ(a.message.errorIndex, 2);
        ASSERT_EQ(a.message.bindings.count, 2u);  // the request echoed
        EXPECT_EQ(a.Name(1), "1.3.6.1.2.1.1.2.0");
        EXPECT_EQ(a.message.bindings.bindings[1].value.tag, ASN_NULL);
    }
    {
        Answer a;
        Ask(agent, Request(PDU_GETNEXT, {Name("1.3.6.1.4.1.99999.1.0")}), a);
        EXPECT_EQ(a.message.errorStatus, SNMP_ERROR_NOSUCHNAME);
        EXPECT_EQ(a.message.errorIndex, 1);
    }
    {
        Answer a;
        Ask(agent, Request(PDU_SET, {Text("1.3.6.1.2.1.1.1.0", "x")}, "private"), a);
        EXPECT_EQ(a.message.errorStatus, SNMP_ERROR_READONLY);
    }
    {
        Wanted wrongType = Name("1.3.6.1.2.1.1.4.0");
        wrongType.tag = ASN_INTEGER;
        wrongType.integer = 5;
        Answer a;
        Ask(agent, Request(PDU_SET, {wrongType}, "private"), a);
        EXPECT_EQ(a.message.errorStatus, SNMP_ERROR_BADVALUE);
    }
    {
        // All or nothing: the first binding is good, the second fails, so
        // neither is stored.
        Answer a;
        Ask(agent, Request(PDU_SET, {Text("1.3.6.1.2.1.1.4.0", "new"), Text("1.3.6.1.2.1.1.9.0", "x")}, "private"), a);
        EXPECT_EQ(a.message.errorStatus, SNMP_ERROR_NOSUCHNAME);
        EXPECT_EQ(a.message.errorIndex, 2);
        Answer b;
        Ask(agent, Request(PDU_SET, {Text("1.3.6.1.2.1.1.4.0", "new")}, "public"), b);
        EXPECT_EQ(b.message.errorStatus, SNMP_ERROR_NOSUCHNAME) << "the read community may not write";
        Answer c;
        Ask(agent, Request(PDU_GET, {Name("1.3.6.1.2.1.1.4.0")}), c);
        EXPECT_EQ(c.Bytes(0), "admin");
    }
    {
        std::vector<Wanted> many(12, Name("1.3.6.1.2.1.1.1.0"));
        Answer a;
        Ask(agent, Request(PDU_GET, many), a);
        EXPECT_EQ(a.message.errorStatus, SNMP_ERROR_TOOBIG);
        EXPECT_EQ(a.message.errorIndex, 0);
        EXPECT_EQ(a.message.bindings.count, 12u);
    }
    Client client;
    client.Send(agent.Port(), Request(PDU_GET, {Name("1.3.6.1.2.1.1.1.0")}, "wrong"));
    EXPECT_FALSE(client.Receive(300).has_value()) << "an unknown community is ignored";
    client.Send(agent.Port(), Request(PDU_GET, {Name("1.3.6.1.2.1.1.1.0")}, "public", 78, SNMP_VERSION_2C));
    EXPECT_FALSE(client.Receive(300).has_value()) << "an SNMPv2c request is ignored";
    EXPECT_EQ(agent.Stop(), 0) << "SIGTERM ends the agent cleanly";
}

TEST(TestAgentAnswers, RawValuesKeepTheirTagAndBytes)
{
    TestAgent agent(kObjects);
    ASSERT_TRUE(agent.Ready()) << agent.Failure();
    Client client;
    client.Send(agent.Port(), Request(PDU_GET, {Name("1.3.6.1.4.1.99999.1.0")}));
    std::optional<Datagram> datagram = client.Receive();
    ASSERT_TRUE(datagram);
    const std::vector<uint8_t> tail = {0x02, 0x05, 0x00, 0x00, 0x00, 0x00, 0x01};
    ASSERT_GE(datagram->bytes.size(), tail.size());
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), datagram->bytes.end() - static_cast<long>(tail.size())));
}

TEST(TestAgentAnswers, GeneratedTableWalksInOrder)
{
    TestAgent agent("", {"--table", "1.3.6.1.4.1.99999.5:3"});
    ASSERT_TRUE(agent.Ready()) << agent.Failure();
    std::vector<std::string> names;
    std::string next = "1.3.6.1.4.1.99999.5";
    for (int i = 0; i < 12; ++i) {
        Answer a;
        Ask(agent, Request(PDU_GETNEXT, {Name(next)}), a);
        if (a.message.errorStatus != SNMP_ERROR_NOERROR) {
            break;
        }
        next = a.Name(0);
        names.push_back(next);
    }
    std::vector<std::string> expected;
    for (int column = 1; column <= 3; ++column) {
        for (int row = 1; row <= 3; ++row) {
            expected.push_back("1.3.6.1.4.1.99999.5." + std::to_string(column) + "." + std::to_string(row));
        }
    }
    EXPECT_EQ(names, expected);
}

TEST(TestAgentMisbehaviour, SilentDropDelayAndErrorAt)
{
    const auto get = Request(PDU_GET, {Name("1.3.6.1.2.1.1.1.0")});
    {
        TestAgent agent(kObjects, {"--behave", "silent"});
        ASSERT_TRUE(agent.Ready()) << agent.Failure();
        Client client;
        client.Send(agent.Port(), get);
        EXPECT_FALSE(client.Receive(300));
    }
    {
        TestAgent agent(kObjects, {"--behave", "drop-first=2"});
        ASSERT_TRUE(agent.Ready()) << agent.Failure();
        Client client;
        client.Send(agent.Port(), get);
        client.Send(agent.Port(), get);
        EXPECT_FALSE(client.Receive(300));
        client.Send(agent.Port(), get);
        EXPECT_TRUE(client.Receive());
        EXPECT_EQ(agent.LogLines().size(), 3u);
    }
    {
        TestAgent agent(kObjects, {"--behave", "delay=300"});
        ASSERT_TRUE(agent.Ready()) << agent.Failure();
        Client client;
        auto start = std::chrono::steady_clock::now();
        client.Send(agent.Port(), get);
        EXPECT_TRUE(client.Receive(3000));
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    }
    {
        TestAgent agent(kObjects, {"--behave", "error-at=1.3.6.1.2.1.1.1.0:5"});
        ASSERT_TRUE(agent.Ready()) << agent.Failure();
        Answer a;
        Ask(agent, get, a);
        EXPECT_EQ(a.message.errorStatus, SNMP_ERROR_GENERR);
        EXPECT_EQ(a.message.errorIndex, 1);
    }
}

TEST(TestAgentMisbehaviour, BadDatagramsComeBeforeTheRightAnswer)
{
    const auto get = Request(PDU_GET, {Name("1.3.6.1.2.1.1.1.0")}, "public", 500);
    {
        TestAgent agent(kObjects, {"--behave", "wrong-id-first", "--behave", "malformed-first",
                                   "--behave", "junk-flood-first=3"});
        ASSERT_TRUE(agent.Ready()) << agent.Failure();
        Client client;
        client.Send(agent.Port(), get);
        for (int i = 0; i < 3; ++i) {
            auto junk = client.Receive();
            ASSERT_TRUE(junk);
            Answer a;
            Decode(*junk, a);
            EXPECT_FALSE(a.decoded);
        }
        auto stale = client.Receive();
        ASSERT_TRUE(stale);
        Answer s;
        Decode(*stale, s);
        ASSERT_TRUE(s.decoded);
        EXPECT_NE(s.message.requestId, 500);
        auto malformed = client.Receive();
        ASSERT_TRUE(malformed);
        Answer m;
        Decode(*malformed, m);
        EXPECT_FALSE(m.decoded);
        auto right = client.Receive();
        ASSERT_TRUE(right);
        Answer r;
        Decode(*right, r);
        ASSERT_TRUE(r.decoded);
        EXPECT_EQ(r.message.requestId, 500);
        EXPECT_EQ(r.Bytes(0), "Test agent");
    }
    {
        TestAgent agent(kObjects, {"--behave", "other-port-first"});
        ASSERT_TRUE(agent.Ready()) << agent.Failure();
        Client client;
        client.Send(agent.Port(), get);
        auto first = client.Receive();
        auto second = client.Receive();
        ASSERT_TRUE(first && second);
        EXPECT_NE(first->fromPort, agent.Port());
        EXPECT_EQ(second->fromPort, agent.Port());
        EXPECT_EQ(first->bytes, second->bytes);
    }
}

TEST(TestAgentMisbehaviour, GetNextThatDoesNotMoveForward)
{
    {
        TestAgent agent(kObjects, {"--behave", "stuck-getnext"});
        ASSERT_TRUE(agent.Ready()) << agent.Failure();
        Answer a;
        Ask(agent, Request(PDU_GETNEXT, {Name("1.3.6.1.2.1.1.3.0")}), a);
        EXPECT_EQ(a.Name(0), "1.3.6.1.2.1.1.3.0");
    }
    {
        TestAgent agent(kObjects, {"--behave", "backwards-getnext=2"});
        ASSERT_TRUE(agent.Ready()) << agent.Failure();
        Answer first;
        Ask(agent, Request(PDU_GETNEXT, {Name("1.3.6.1.2.1.1.3.0")}), first);
        EXPECT_EQ(first.Name(0), "1.3.6.1.2.1.1.4.0");
        Answer second;
        Ask(agent, Request(PDU_GETNEXT, {Name("1.3.6.1.2.1.1.4.0")}), second);
        EXPECT_EQ(second.Name(0), "1.3.6.1.2.1.1.1.0");
    }
}

TEST(TestAgentMisbehaviour, HostileAnswers)
{
    const auto get = Request(PDU_GET, {Name("1.3.6.1.2.1.1.1.0")});
    auto receive = [&](const std::vector<std::string>& behave, Answer& answer) -> std::vector<uint8_t> {
        std::vector<std::string> args;
        for (const std::string& mode : behave) {
            args.push_back("--behave");
            args.push_back(mode);
        }
        TestAgent agent(kObjects, args);
        EXPECT_TRUE(agent.Ready()) << agent.Failure();
        Client client;
        client.Send(agent.Port(), get);
        auto datagram = client.Receive();
        EXPECT_TRUE(datagram);
        if (!datagram) {
            return {};
        }
        Decode(*datagram, answer);
        return datagram->bytes;
    };
    Answer plain;
    size_t plainSize = receive({}, plain).size();
    ASSERT_TRUE(plain.decoded);
    for (const char* mode : {"truncated", "length-lying", "nested"}) {
        Answer a;
        receive({mode}, a);
        EXPECT_FALSE(a.decoded) << mode;
    }
    Answer truncated;
    EXPECT_EQ(receive({"truncated"}, truncated).size(), plainSize / 2);
    Answer nested;
    EXPECT_GT(receive({"nested"}, nested).size(), 20000u);
    Answer oversized;
    EXPECT_EQ(receive({"oversized=65000"}, oversized).size(), 65000u);
    ASSERT_TRUE(oversized.decoded);
    EXPECT_GT(oversized.message.bindings.bindings[0].value.data.bytes.length, 64000u);
    Answer wrongType;
    receive({"wrong-pdu-type"}, wrongType);
    ASSERT_TRUE(wrongType.decoded);
    EXPECT_EQ(wrongType.message.pduType, PDU_GET);
    Answer extra;
    receive({"extra-binding"}, extra);
    EXPECT_EQ(extra.message.bindings.count, 2u);
    Answer missing;
    receive({"missing-binding"}, missing);
    EXPECT_EQ(missing.message.bindings.count, 0u);
}

TEST(TestAgentTraps, NumberedInOrderForBothVersions)
{
    uint16_t port = testsupport::PickFreeUdpPort();
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::string to = "127.0.0.1:" + std::to_string(port);
    for (const char* version : {"1", "2c"}) {
        auto sent = RunProgram({TEST_AGENT_PATH, "trap", "--to", to, "--version", version, "--count", "3",
                                "--uptime", "100", "--junk", "1", "--varbind", "1.3.6.1.2.1.1.5.0",
                                "string", "host"});
        ASSERT_EQ(sent.exitCode, 0) << sent.err;
        std::vector<uint8_t> buffer(65536);
        pollfd waiting = {fd, POLLIN, 0};
        ASSERT_GT(poll(&waiting, 1, 2000), 0);
        ssize_t size = recv(fd, buffer.data(), buffer.size(), 0);
        SnmpMessage junk;
        EXPECT_FALSE(DecodeMessage(buffer.data(), static_cast<size_t>(size), junk));
        for (uint32_t k = 1; k <= 3; ++k) {
            ASSERT_GT(poll(&waiting, 1, 2000), 0);
            size = recv(fd, buffer.data(), buffer.size(), 0);
            SnmpMessage trap;
            ASSERT_TRUE(DecodeMessage(buffer.data(), static_cast<size_t>(size), trap));
            if (std::string(version) == "1") {
                EXPECT_EQ(trap.pduType, PDU_TRAP_V1);
                EXPECT_EQ(trap.timeStamp, 99 + k);
                EXPECT_EQ(trap.genericTrap, 6);
                ASSERT_EQ(trap.bindings.count, 1u);
            } else {
                EXPECT_EQ(trap.pduType, PDU_TRAP_V2);
                ASSERT_EQ(trap.bindings.count, 3u);
                EXPECT_EQ(trap.bindings.bindings[0].value.tag, ASN_TIMETICKS);
                EXPECT_EQ(trap.bindings.bindings[0].value.data.unsigned32, 99 + k);
                const AsnObjectIdentifier& trapOid = trap.bindings.bindings[1].value.data.object;
                ASSERT_EQ(trapOid.count, 9u);
                EXPECT_EQ(trapOid.ids[6], 99999u);  // enterprise.0.specific
                EXPECT_EQ(trapOid.ids[7], 0u);
                EXPECT_EQ(trapOid.ids[8], 1u);
            }
            FreeMessage(trap);
        }
    }
    close(fd);
}

TEST(TestSupport, SnmpdStartsOnItsOwnPortAndLetsSystemObjectsBeWritten)
{
    SNMPD_OR_END_TEST(snmpd);
    testsupport::TempDir dir;
    auto set = RunProgram({"/usr/bin/snmpset", "-v1", "-c", "private", "-On", snmpd.Address(),
                           "1.3.6.1.2.1.1.4.0", "s", "tester"},
                          PeerEnvironment(dir), std::nullopt, 10000);
    EXPECT_EQ(set.out, ".1.3.6.1.2.1.1.4.0 = STRING: \"tester\"\n") << set.err;
}

TEST(TestSupport, RunProgramFeedsInputAndBoundsTheTime)
{
    auto echo = RunProgram({"/bin/cat"}, {}, std::string("a\r\nb\x1a"));
    EXPECT_EQ(echo.out, "a\r\nb\x1a");
    EXPECT_EQ(echo.exitCode, 0);
    auto env = RunProgram({"/bin/sh", "-c", "printf %s \"$X\" >&2; exit 3"}, {"X=seen"});
    EXPECT_EQ(env.err, "seen");
    EXPECT_EQ(env.exitCode, 3);
    auto start = std::chrono::steady_clock::now();
    auto slow = RunProgram({"/bin/sleep", "30"}, {}, std::nullopt, 300);
    EXPECT_TRUE(slow.timedOut);
    EXPECT_EQ(slow.signal, SIGKILL);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(TestAgentObjects, EscapesAndRefusedLines)
{
    TestAgent agent("1.3.6.1.2.1.1.1.0 string a\\x00b\\\\c  \n"
                    ".1.3.6.1.2.1.1.2.0 hex 41 42:43\n");
    ASSERT_TRUE(agent.Ready()) << agent.Failure();
    Answer a;
    Ask(agent, Request(PDU_GET, {Name("1.3.6.1.2.1.1.1.0"), Name("1.3.6.1.2.1.1.2.0")}), a);
    ASSERT_EQ(a.message.bindings.count, 2u);
    EXPECT_EQ(a.Bytes(0), std::string("a\0b\\c  ", 7)) << "a string is the rest of the line, as is";
    EXPECT_EQ(a.Bytes(1), "ABC");
    for (const char* bad : {"1.3.6.1.2.1.1.1.0 strin x\n", "1.3.6.1.2.1.1.1.0 hex 4\n",
                            "1.3.6.1.2.1.1.1.0 integer 2147483648\n", "1.3..6 integer 1\n",
                            "1.3.6.1.2.1.1.1.0 null\n1.3.6.1.2.1.1.1.0 null\n"}) {
        TestAgent refused(bad);
        EXPECT_FALSE(refused.Ready()) << bad;
        EXPECT_NE(refused.Failure().find("objects.txt:"), std::string::npos) << refused.Failure();
    }
}
