// Received traps in v1 fields: SNMPv2c traps translated as RFC 3584 section 3.2
// says, and v2 traps without their first two bindings dropped. (The captured v1
// and v2c traps go through the whole receiver in test_trap_receiver.)
#include <arpa/inet.h>
#include <netinet/in.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ber/ber_codec.h"
#include "traps/trap_translation.h"

namespace {

using Ids = std::vector<uint32_t>;

const Ids kSysUpTime0 = {1, 3, 6, 1, 2, 1, 1, 3, 0};
const Ids kSnmpTrapOid0 = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
const Ids kSnmpTrapEnterprise0 = {1, 3, 6, 1, 6, 3, 1, 1, 4, 3, 0};
const Ids kSnmpTrapAddress0 = {1, 3, 6, 1, 6, 3, 18, 1, 3, 0};
const Ids kSnmpTraps = {1, 3, 6, 1, 6, 3, 1, 1, 5};
const Ids kIfIndex1 = {1, 3, 6, 1, 2, 1, 2, 2, 1, 1, 1};

Ids Append(Ids ids, std::initializer_list<uint32_t> more)
{
    ids.insert(ids.end(), more);
    return ids;
}

AsnObjectIdentifier NewOid(const Ids& ids)
{
    AsnObjectIdentifier oid = {static_cast<uint32_t>(ids.size()), nullptr};
    oid.ids = static_cast<uint32_t*>(SnmpUtilMemAlloc(ids.size() * sizeof(uint32_t)));
    std::copy(ids.begin(), ids.end(), oid.ids);
    return oid;
}

Ids IdsOf(const AsnObjectIdentifier& oid)
{
    return Ids(oid.ids, oid.ids + oid.count);
}

SnmpVarBind TimeTicks(const Ids& name, uint32_t ticks)
{
    SnmpVarBind bind = {NewOid(name), {}};
    bind.value.tag = ASN_TIMETICKS;
    bind.value.data.unsigned32 = ticks;
    return bind;
}

SnmpVarBind OidValue(const Ids& name, const Ids& value)
{
    SnmpVarBind bind = {NewOid(name), {}};
    bind.value.tag = ASN_OBJECTIDENTIFIER;
    bind.value.data.object = NewOid(value);
    return bind;
}

SnmpVarBind Integer(const Ids& name, int32_t value)
{
    SnmpVarBind bind = {NewOid(name), {}};
    bind.value.tag = ASN_INTEGER;
    bind.value.data.integer = value;
    return bind;
}

SnmpVarBind IpAddress(const Ids& name, std::initializer_list<uint8_t> bytes)
{
    SnmpVarBind bind = {NewOid(name), {}};
    bind.value.tag = ASN_IPADDRESS;
    bind.value.data.bytes.stream = static_cast<uint8_t*>(SnmpUtilMemAlloc(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), bind.value.data.bytes.stream);
    bind.value.data.bytes.length = static_cast<uint32_t>(bytes.size());
    bind.value.data.bytes.dynamic = 1;
    return bind;
}

SnmpMessage V2Trap(const std::vector<SnmpVarBind>& binds)
{
    SnmpMessage message;
    message.version = SNMP_VERSION_2C;
    message.community = "public";
    message.pduType = PDU_TRAP_V2;
    message.bindings.count = static_cast<uint32_t>(binds.size());
    message.bindings.bindings =
        static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(binds.size() * sizeof(SnmpVarBind)));
    std::copy(binds.begin(), binds.end(), message.bindings.bindings);
    return message;
}

// The usual head of a v2 trap: sysUpTime.0, then snmpTrapOID.0.
std::vector<SnmpVarBind> Head(uint32_t ticks, const Ids& trapOid)
{
    return {TimeTicks(kSysUpTime0, ticks), OidValue(kSnmpTrapOid0, trapOid)};
}

sockaddr_in Ipv4Sender(const char* text)
{
    sockaddr_in sender = {};
    sender.sin_family = AF_INET;
    sender.sin_port = htons(40000);
    inet_pton(AF_INET, text, &sender.sin_addr);
    return sender;
}

sockaddr_in6 Ipv6Sender(const char* text)
{
    sockaddr_in6 sender = {};
    sender.sin6_family = AF_INET6;
    sender.sin6_port = htons(40000);
    inet_pton(AF_INET6, text, &sender.sin6_addr);
    return sender;
}

struct Translated {
    bool ok = false;
    TrapRecord trap = {};
    ~Translated()
    {
        FreeTrapRecord(&trap);
    }
};

// Translates and frees the message whatever the outcome.
template <typename Sender>
void Translate(SnmpMessage message, const Sender& sender, Translated* out)
{
    out->ok = TrapFromMessage(message, reinterpret_cast<const sockaddr*>(&sender), sizeof(sender),
                              &out->trap);
    FreeMessage(message);
}

std::string Address(const TrapRecord& trap)
{
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, trap.agentAddress, text, sizeof(text));
    return text;
}

TEST(TrapTranslation, GenericNotificationsMapToGenericTraps)
{
    const char* names[] = {
        "coldStart", "warmStart", "linkDown", "linkUp", "authenticationFailure", "egpNeighborLoss"};
    for (uint32_t n = 1; n <= 6; ++n) {
        SCOPED_TRACE(names[n - 1]);
        Translated plain;
        std::vector<SnmpVarBind> binds = Head(100 + n, Append(kSnmpTraps, {n}));
        binds.push_back(Integer(kIfIndex1, 7));
        Translate(V2Trap(binds), Ipv4Sender("192.0.2.9"), &plain);
        ASSERT_TRUE(plain.ok);
        EXPECT_EQ(plain.trap.genericTrap, static_cast<int32_t>(n - 1));
        EXPECT_EQ(plain.trap.specificTrap, 0);
        EXPECT_EQ(plain.trap.timeStamp, 100 + n);
        EXPECT_EQ(IdsOf(plain.trap.enterprise), kSnmpTraps);
        ASSERT_EQ(plain.trap.bindings.count, 1u);
        EXPECT_EQ(IdsOf(plain.trap.bindings.bindings[0].name), kIfIndex1);
        EXPECT_EQ(plain.trap.bindings.bindings[0].value.data.integer, 7);

        // snmpTrapEnterprise.0 names the enterprise, and stays among the bindings.
        Translated withEnterprise;
        binds = Head(5, Append(kSnmpTraps, {n}));
        binds.push_back(OidValue(kSnmpTrapEnterprise0, {1, 3, 6, 1, 4, 1, 8072}));
        Translate(V2Trap(binds), Ipv4Sender("192.0.2.9"), &withEnterprise);
        ASSERT_TRUE(withEnterprise.ok);
        EXPECT_EQ(withEnterprise.trap.genericTrap, static_cast<int32_t>(n - 1));
        EXPECT_EQ(IdsOf(withEnterprise.trap.enterprise), (Ids{1, 3, 6, 1, 4, 1, 8072}));
        EXPECT_EQ(withEnterprise.trap.bindings.count, 1u);
    }
}

TEST(TrapTranslation, AgentAddressFromSnmpTrapAddressElseTheSender)
{
    Translated carried;
    std::vector<SnmpVarBind> binds = Head(1, Append(kSnmpTraps, {4}));
    binds.push_back(Integer(kIfIndex1, 1));
    binds.push_back(IpAddress(kSnmpTrapAddress0, {10, 9, 8, 7}));
    Translate(V2Trap(binds), Ipv4Sender("192.0.2.9"), &carried);
    ASSERT_TRUE(carried.ok);
    EXPECT_EQ(Address(carried.trap), "10.9.8.7");
    ASSERT_EQ(carried.trap.bindings.count, 2u);
    EXPECT_EQ(IdsOf(carried.trap.bindings.bindings[0].name), kIfIndex1);
    EXPECT_EQ(IdsOf(carried.trap.bindings.bindings[1].name), kSnmpTrapAddress0);

    // An snmpTrapAddress.0 that is no IpAddress does not count.
    Translated wrongType;
    binds = Head(1, Append(kSnmpTraps, {4}));
    binds.push_back(Integer(kSnmpTrapAddress0, 5));
    Translate(V2Trap(binds), Ipv4Sender("192.0.2.9"), &wrongType);
    ASSERT_TRUE(wrongType.ok);
    EXPECT_EQ(Address(wrongType.trap), "192.0.2.9");

    Translated mapped;
    Translate(V2Trap(Head(1, Append(kSnmpTraps, {1}))), Ipv6Sender("::ffff:198.51.100.4"), &mapped);
    ASSERT_TRUE(mapped.ok);
    EXPECT_EQ(Address(mapped.trap), "198.51.100.4");

    Translated ipv6;
    Translate(V2Trap(Head(1, Append(kSnmpTraps, {1}))), Ipv6Sender("2001:db8::1"), &ipv6);
    ASSERT_TRUE(ipv6.ok);
    EXPECT_EQ(Address(ipv6.trap), "0.0.0.0");
}

TEST(TrapTranslation, V2TrapsWithoutTheirFirstTwoBindingsAreDropped)
{
    const sockaddr_in sender = Ipv4Sender("192.0.2.9");
    std::vector<std::pair<const char*, std::vector<SnmpVarBind>>> cases;
    cases.push_back({"no bindings", {}});
    cases.push_back({"sysUpTime.0 alone", {TimeTicks(kSysUpTime0, 1)}});
    cases.push_back(
        {"the two swapped",
         {OidValue(kSnmpTrapOid0, Append(kSnmpTraps, {1})), TimeTicks(kSysUpTime0, 1)}});
    cases.push_back({"sysUpTime.0 not TimeTicks",
                     {Integer(kSysUpTime0, 1), OidValue(kSnmpTrapOid0, Append(kSnmpTraps, {1}))}});
    cases.push_back({"snmpTrapOID.0 not an identifier",
                     {TimeTicks(kSysUpTime0, 1), Integer(kSnmpTrapOid0, 3)}});
    cases.push_back({"another binding first",
                     {Integer(kIfIndex1, 1), TimeTicks(kSysUpTime0, 1),
                      OidValue(kSnmpTrapOid0, Append(kSnmpTraps, {1}))}});
    for (auto& [what, binds] : cases) {
        SCOPED_TRACE(what);
        SnmpMessage message = V2Trap(binds);
        TrapRecord trap = {};
        EXPECT_FALSE(TrapFromMessage(message, reinterpret_cast<const sockaddr*>(&sender),
                                     sizeof(sender), &trap));
        // Untouched: the caller still owns (and frees) every binding.
        EXPECT_EQ(message.bindings.count, binds.size());
        EXPECT_EQ(trap.enterprise.ids, nullptr);
        FreeMessage(message);
    }
}

}  // namespace
