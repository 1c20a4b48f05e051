// Trap reception on loopback: the listening address, the queue in arrival
// order, the event and the bounds. (A burst, a port in use and the system's
// snmptrap are tested through the program.)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ber/ber_codec.h"
#include "os/os_services.h"
#include "snmp_api.h"
#include "traps/trap_address.h"
#include "traps/trap_receiver_testing.h"
#include "traps/trap_translation.h"

namespace {

using Clock = std::chrono::steady_clock;

// One fetched trap, copied out of the layer's allocations.
struct Trap {
    std::string enterprise;
    std::string agent;
    int32_t generic = 0;
    int32_t specific = 0;
    uint32_t timeStamp = 0;
    std::vector<std::string> names;
    std::vector<uint8_t> tags;
    std::vector<std::string> values;
};

std::string Dotted(const AsnObjectIdentifier& oid)
{
    std::string text;
    for (uint32_t i = 0; i < oid.count; ++i) {
        text += (i == 0 ? "" : ".") + std::to_string(oid.ids[i]);
    }
    return text;
}

std::string ValueText(const AsnAny& value)
{
    switch (value.tag) {
    case ASN_INTEGER:
        return std::to_string(value.data.integer);
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
        return std::to_string(value.data.unsigned32);
    case ASN_OBJECTIDENTIFIER:
        return Dotted(value.data.object);
    case ASN_NULL:
        return "";
    default:
        return std::string(reinterpret_cast<const char*>(value.data.bytes.stream),
                           value.data.bytes.length);
    }
}

// Takes the oldest trap the way the tool does, releasing what the fetch gave.
bool FetchTrap(Trap* out)
{
    AsnObjectIdentifier enterprise = {0, nullptr};
    AsnOctetString agent = {nullptr, 0, 0};
    SnmpVarBindList bindings = {nullptr, 0};
    if (SnmpMgrGetTrap(&enterprise, &agent, &out->generic, &out->specific, &out->timeStamp,
                       &bindings) != 1) {
        return false;
    }
    EXPECT_EQ(agent.length, 4u);
    EXPECT_EQ(agent.dynamic, 1);
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, agent.stream, text, sizeof(text));
    out->agent = text;
    out->enterprise = Dotted(enterprise);
    for (uint32_t i = 0; i < bindings.count; ++i) {
        out->names.push_back(Dotted(bindings.bindings[i].name));
        out->tags.push_back(bindings.bindings[i].value.tag);
        out->values.push_back(ValueText(bindings.bindings[i].value));
    }
    SnmpUtilOidFree(&enterprise);
    SnmpUtilMemFree(agent.stream);
    SnmpUtilVarBindListFree(&bindings);
    return true;
}

// Waits on the event and drains until `count` traps came or `limitMs` passed.
std::vector<Trap> Collect(PlatformEvent* event, size_t count, int limitMs = 10000)
{
    std::vector<Trap> traps;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (traps.size() < count && Clock::now() < end) {
        if (WaitForSingleObject(event, 100) != WAIT_OBJECT_0) {
            continue;
        }
        Trap trap;
        while (traps.size() < count && FetchTrap(&trap)) {
            traps.push_back(trap);
            trap = Trap();
        }
        ResetEvent(event);
    }
    return traps;
}

// Reception listening at `address` for the life of the object.
class Listening {
public:
    explicit Listening(const char* address)
    {
        setenv(kTrapAddressVariable, address, 1);
        ok_ = SnmpMgrTrapListen(&event_) == 1;
        error_ = GetLastError();
    }
    ~Listening()
    {
        if (ok_) {
            SnmpMgrTrapStop();
        }
        unsetenv(kTrapAddressVariable);
    }
    bool Ok() const
    {
        return ok_;
    }
    uint32_t Error() const
    {
        return error_;
    }
    PlatformEvent* Event() const
    {
        return event_;
    }
    uint16_t Port() const
    {
        return TrapReceiverPort();
    }

private:
    bool ok_ = false;
    uint32_t error_ = 0;
    PlatformEvent* event_ = nullptr;
};

// A UDP socket that sends datagrams to the receiver from 127.0.0.1 or ::1.
class Sender {
public:
    Sender(int family, uint16_t port) : family_(family)
    {
        fd_ = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (family == AF_INET) {
            sockaddr_in* to = reinterpret_cast<sockaddr_in*>(&to_);
            to->sin_family = AF_INET;
            to->sin_port = htons(port);
            to->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length_ = sizeof(sockaddr_in);
        } else {
            sockaddr_in6* to = reinterpret_cast<sockaddr_in6*>(&to_);
            to->sin6_family = AF_INET6;
            to->sin6_port = htons(port);
            to->sin6_addr = in6addr_loopback;
            length_ = sizeof(sockaddr_in6);
        }
    }
    ~Sender()
    {
        close(fd_);
    }
    bool Send(const std::vector<uint8_t>& bytes)
    {
        return sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to_),
                      length_) == static_cast<ssize_t>(bytes.size());
    }

private:
    int family_;
    int fd_ = -1;
    sockaddr_storage to_ = {};
    socklen_t length_ = 0;
};

AsnObjectIdentifier NewOid(std::initializer_list<uint32_t> ids)
{
    AsnObjectIdentifier oid = {static_cast<uint32_t>(ids.size()), nullptr};
    oid.ids = static_cast<uint32_t*>(SnmpUtilMemAlloc(ids.size() * sizeof(uint32_t)));
    std::copy(ids.begin(), ids.end(), oid.ids);
    return oid;
}

// An encoded v1 trap whose time stamp numbers it, with `nulls` bindings of
// 1.3 and NULL (seven bytes each on the wire).
std::vector<uint8_t> V1Trap(uint32_t timeStamp, uint32_t nulls = 0)
{
    SnmpMessage message;
    message.version = SNMP_VERSION_1;
    message.community = "public";
    message.pduType = PDU_TRAP_V1;
    message.enterprise = NewOid({1, 3, 6, 1, 4, 1, 99999});
    const uint8_t agent[4] = {10, 0, 0, 1};
    std::memcpy(message.agentAddress, agent, sizeof(agent));
    message.genericTrap = SNMP_TRAP_ENTERPRISESPECIFIC;
    message.specificTrap = 1;
    message.timeStamp = timeStamp;
    message.bindings.count = nulls;
    message.bindings.bindings =
        static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(nulls * sizeof(SnmpVarBind)));
    for (uint32_t i = 0; i < nulls; ++i) {
        message.bindings.bindings[i].name = NewOid({1, 3});
        message.bindings.bindings[i].value.tag = ASN_NULL;
    }
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(EncodeMessage(message, bytes));
    FreeMessage(message);
    return bytes;
}

// What the queue's byte budget is charged for the trap that `bytes` decode to.
size_t QueueCharge(const std::vector<uint8_t>& bytes)
{
    SnmpMessage message;
    TrapRecord trap = {};
    EXPECT_TRUE(DecodeMessage(bytes.data(), bytes.size(), message));
    EXPECT_TRUE(TrapFromMessage(message, nullptr, 0, &trap));
    FreeMessage(message);
    const size_t charge = TrapRecordBytes(trap);
    FreeTrapRecord(&trap);
    return charge;
}

// An encoded v2c linkUp trap with no binding beyond the first two.
std::vector<uint8_t> V2LinkUp(uint32_t upTime)
{
    SnmpMessage message;
    message.version = SNMP_VERSION_2C;
    message.community = "private";
    message.pduType = PDU_TRAP_V2;
    message.bindings.count = 2;
    message.bindings.bindings =
        static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(2 * sizeof(SnmpVarBind)));
    message.bindings.bindings[0].name = NewOid({1, 3, 6, 1, 2, 1, 1, 3, 0});
    message.bindings.bindings[0].value.tag = ASN_TIMETICKS;
    message.bindings.bindings[0].value.data.unsigned32 = upTime;
    message.bindings.bindings[1].name = NewOid({1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0});
    message.bindings.bindings[1].value.tag = ASN_OBJECTIDENTIFIER;
    message.bindings.bindings[1].value.data.object = NewOid({1, 3, 6, 1, 6, 3, 1, 1, 5, 4});
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(EncodeMessage(message, bytes));
    FreeMessage(message);
    return bytes;
}

TEST(TrapAddress, ReadsThePortAndTheNumericForms)
{
    TrapAddress where;
    ASSERT_TRUE(ParseTrapAddress(nullptr, &where));
    EXPECT_TRUE(where.everyAddress);
    EXPECT_EQ(where.port, 162);
    ASSERT_TRUE(ParseTrapAddress("16162", &where));
    EXPECT_TRUE(where.everyAddress);
    EXPECT_EQ(where.port, 16162);
    ASSERT_TRUE(ParseTrapAddress("127.0.0.1:16162", &where));
    EXPECT_FALSE(where.everyAddress);
    EXPECT_EQ(where.address.ss_family, AF_INET);
    EXPECT_EQ(ntohs(reinterpret_cast<sockaddr_in*>(&where.address)->sin_port), 16162);
    ASSERT_TRUE(ParseTrapAddress("[::1]:16162", &where));
    EXPECT_EQ(where.address.ss_family, AF_INET6);
    EXPECT_EQ(ntohs(reinterpret_cast<sockaddr_in6*>(&where.address)->sin6_port), 16162);

    for (const char* bad :
         {"abc", "65536", "-1", "+5", "16162 ", "127.0.0.1", "127.0.0.1:", ":162", "[::1]", "[::1",
          "::1:162", "[127.0.0.1]:162", "[]:162", "localhost:162", "1.2.3.4:5x", "300.1.1.1:162"}) {
        EXPECT_FALSE(ParseTrapAddress(bad, &where)) << bad;
    }
}

TEST(TrapReceiver, AMalformedAddressFailsAndTheStartMayBeRetried)
{
    {
        Listening bad("127.0.0.1:notaport");
        ASSERT_FALSE(bad.Ok());
        EXPECT_EQ(bad.Error(), ERROR_BAD_TRAP_ADDRESS);
    }
    Listening good("127.0.0.1:0");
    ASSERT_TRUE(good.Ok());
    EXPECT_NE(good.Port(), 0);
    PlatformEvent* second = nullptr;
    EXPECT_EQ(SnmpMgrTrapListen(&second), 0);
    EXPECT_EQ(GetLastError(), SNMP_MGMTAPI_TRAP_DUPINIT);
}

TEST(TrapReceiver, TheEventStaysSetWhileTrapsWait)
{
    Listening listening("127.0.0.1:0");
    ASSERT_TRUE(listening.Ok());
    PlatformEvent* event = listening.Event();
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    Sender sender(AF_INET, listening.Port());
    ASSERT_TRUE(sender.Send(V1Trap(1)));
    ASSERT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);

    // A reset while the trap waits would leave it unseen until the next one.
    ASSERT_EQ(ResetEvent(event), 1);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);

    Trap trap;
    ASSERT_TRUE(FetchTrap(&trap));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_FALSE(FetchTrap(&trap));
    EXPECT_EQ(GetLastError(), SNMP_MGMTAPI_NOTRAPS);
    ASSERT_EQ(ResetEvent(event), 1);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 100), WAIT_TIMEOUT);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(95));
}

TEST(TrapReceiver, EveryAddressServesIpv4AndIpv6Senders)
{
    Listening listening("0");
    ASSERT_TRUE(listening.Ok());
    Sender overIpv4(AF_INET, listening.Port());
    Sender overIpv6(AF_INET6, listening.Port());
    ASSERT_TRUE(overIpv4.Send(V2LinkUp(1)));
    std::vector<Trap> traps = Collect(listening.Event(), 1);
    ASSERT_TRUE(overIpv6.Send(V2LinkUp(2)));
    const std::vector<Trap> more = Collect(listening.Event(), 1);
    traps.insert(traps.end(), more.begin(), more.end());
    ASSERT_EQ(traps.size(), 2u);
    EXPECT_EQ(traps[0].generic, 3);
    EXPECT_EQ(traps[0].agent, "127.0.0.1");
    EXPECT_EQ(traps[1].timeStamp, 2u);
    EXPECT_EQ(traps[1].agent, "0.0.0.0");
}

TEST(TrapReceiver, AFullQueueDropsTheNewestAndCountsThem)
{
    SetTrapQueueLimitsForTesting(5, 0);
    Listening listening("[::1]:0");
    SetTrapQueueLimitsForTesting(0, 0);
    ASSERT_TRUE(listening.Ok());
    Sender sender(AF_INET6, listening.Port());
    for (uint32_t k = 1; k <= 8; ++k) {
        ASSERT_TRUE(sender.Send(V1Trap(k)));
    }
    const Clock::time_point end = Clock::now() + std::chrono::seconds(5);
    while (TrapsDroppedSoFar() < 3 && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(TrapsDroppedSoFar(), 3u);
    for (uint32_t k = 1; k <= 5; ++k) {
        Trap trap;
        ASSERT_TRUE(FetchTrap(&trap));
        EXPECT_EQ(trap.timeStamp, k);
    }
    Trap trap;
    EXPECT_FALSE(FetchTrap(&trap));
    // Room again: the next trap is queued.
    ASSERT_TRUE(sender.Send(V1Trap(9)));
    const std::vector<Trap> later = Collect(listening.Event(), 1);
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].timeStamp, 9u);
    // Leave two queued: stopping frees them, and reports the count.
    ASSERT_TRUE(sender.Send(V1Trap(10)));
    ASSERT_TRUE(sender.Send(V1Trap(11)));
    ASSERT_EQ(WaitForSingleObject(listening.Event(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(SnmpMgrTrapStop(), 3u);
    EXPECT_EQ(SnmpMgrTrapStop(), 0u);
    EXPECT_FALSE(FetchTrap(&trap));
}

TEST(TrapReceiver, TheByteBudgetBoundsTheQueueAndATakenTrapGivesItsBytesBack)
{
    const size_t charge = QueueCharge(V1Trap(1));
    SetTrapQueueLimitsForTesting(0, 3 * charge);
    Listening listening("127.0.0.1:0");
    SetTrapQueueLimitsForTesting(0, 0);
    ASSERT_TRUE(listening.Ok());
    Sender sender(AF_INET, listening.Port());
    for (uint32_t k = 1; k <= 5; ++k) {
        ASSERT_TRUE(sender.Send(V1Trap(k)));
    }
    const Clock::time_point end = Clock::now() + std::chrono::seconds(5);
    while (TrapsDroppedSoFar() < 2 && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(TrapsDroppedSoFar(), 2u);
    Trap trap;
    ASSERT_TRUE(FetchTrap(&trap));
    EXPECT_EQ(trap.timeStamp, 1u);
    ASSERT_TRUE(sender.Send(V1Trap(6)));
    const std::vector<Trap> rest = Collect(listening.Event(), 3);
    ASSERT_EQ(rest.size(), 3u);
    EXPECT_EQ(rest[0].timeStamp, 2u);
    EXPECT_EQ(rest[1].timeStamp, 3u);
    EXPECT_EQ(rest[2].timeStamp, 6u);
    EXPECT_EQ(TrapsDroppedSoFar(), 2u);
}

TEST(TrapReceiver, TheByteBudgetCountsWhatATrapDecodesToNotItsDatagram)
{
    // 7 KB on the wire, some ten times that once decoded.
    const std::vector<uint8_t> wide = V1Trap(1, 1000);
    const size_t budget = 4 * wide.size();
    ASSERT_GT(QueueCharge(wide), budget);
    SetTrapQueueLimitsForTesting(0, budget);
    Listening listening("127.0.0.1:0");
    SetTrapQueueLimitsForTesting(0, 0);
    ASSERT_TRUE(listening.Ok());
    Sender sender(AF_INET, listening.Port());
    ASSERT_TRUE(sender.Send(wide));
    ASSERT_TRUE(sender.Send(V1Trap(2)));
    const std::vector<Trap> queued = Collect(listening.Event(), 1);
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].timeStamp, 2u);
    EXPECT_EQ(TrapsDroppedSoFar(), 1u);
}

}  // namespace
