// SNMPv2c traps in v1 fields (RFC 3584 section 3.2), one table: the bindings
// of a received trap and its sender, and the v1 fields it reads as, or that it
// is dropped for lacking sysUpTime.0 and snmpTrapOID.0 as its first two bindings.
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message/dispatcher.h"
#include "traps/trap_translation.h"

namespace {

std::string Tlv(const std::string& tag, const std::string& content)
{
    char length[17];
    std::snprintf(length, sizeof length, "%02zx", content.size() / 2);
    return tag + length + content;
}

std::string Bind(const std::string& name, const std::string& value)
{
    return Tlv("30", Tlv("06", name) + value);
}

const std::string kUpTime = "2b06010201010300";              // sysUpTime.0
const std::string kTrapOid = "2b060106030101040100";         // snmpTrapOID.0
const std::string kTrapEnterprise = "2b060106030101040300";  // snmpTrapEnterprise.0
const std::string kTrapAddress = "2b0601060312010300";       // snmpTrapAddress.0
const std::string kIfIndex = Bind("2b060102010202010101", "020107");
std::string Head(const std::string& trapOid)
{
    return Bind(kUpTime, "430164") + Bind(kTrapOid, Tlv("06", trapOid));
}
std::string Standard(int n)
{
    return Head("2b060106030101050" + std::to_string(n));
}

struct Row {
    std::string bindings;
    const char* sender;
    const char* reads;  // "generic/specific enterprise address @stamp bindings", or "" when dropped
};

const Row kRows[] = {
    {Standard(1) + kIfIndex, "192.0.2.9", "0/0 1.3.6.1.6.3.1.1.5 192.0.2.9 @100 1"},
    {Standard(3), "192.0.2.9", "2/0 1.3.6.1.6.3.1.1.5 192.0.2.9 @100 0"},
    {Standard(6), "192.0.2.9", "5/0 1.3.6.1.6.3.1.1.5 192.0.2.9 @100 0"},
    {Standard(7), "192.0.2.9", "6/7 1.3.6.1.6.3.1.1.5 192.0.2.9 @100 0"},
    {Standard(4) + Bind(kTrapEnterprise, "06072b060104013f48"), "192.0.2.9",
     "3/0 1.3.6.1.4.1.63.72 192.0.2.9 @100 1"},
    {Head("2b06010401868d1f0011"), "192.0.2.9", "6/17 1.3.6.1.4.1.99999 192.0.2.9 @100 0"},
    {Head("2b06010401868d1f11"), "192.0.2.9", "6/17 1.3.6.1.4.1.99999 192.0.2.9 @100 0"},
    {Standard(4) + kIfIndex + Bind(kTrapAddress, "40040a090807"), "192.0.2.9",
     "3/0 1.3.6.1.6.3.1.1.5 10.9.8.7 @100 2"},
    {Standard(4) + Bind(kTrapAddress, "020105"), "192.0.2.9",
     "3/0 1.3.6.1.6.3.1.1.5 192.0.2.9 @100 1"},
    {Standard(1), "::ffff:198.51.100.4", "0/0 1.3.6.1.6.3.1.1.5 198.51.100.4 @100 0"},
    {Standard(1), "2001:db8::1", "0/0 1.3.6.1.6.3.1.1.5 0.0.0.0 @100 0"},
    {"", "192.0.2.9", ""},
    {Bind(kUpTime, "430164"), "192.0.2.9", ""},
    {Bind(kTrapOid, "06092b0601060301010501") + Bind(kUpTime, "430164"), "192.0.2.9", ""},
    {Bind(kUpTime, "020164") + Bind(kTrapOid, "06092b0601060301010501"), "192.0.2.9", ""},
    {Bind(kUpTime, "430164") + Bind(kTrapOid, "020103"), "192.0.2.9", ""},
    {kIfIndex + Standard(1), "192.0.2.9", ""},
};

std::string Describe(const TrapRecord& trap)
{
    std::string text = std::to_string(trap.genericTrap) + "/" + std::to_string(trap.specificTrap);
    for (uint32_t i = 0; i < trap.enterprise.count; ++i) {
        text += (i == 0 ? " " : ".") + std::to_string(trap.enterprise.ids[i]);
    }
    char address[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, trap.agentAddress, address, sizeof address);
    return text + " " + address + " @" + std::to_string(trap.timeStamp) + " " +
           std::to_string(trap.bindings.count);
}

TEST(TrapTranslation, EachTrapReadsAsTheTableSays)
{
    for (const Row& row : kRows) {
        const std::string hex =
            Tlv("30", "020101" + Tlv("04", "7075626c6963") +
                          Tlv("a7", "020101020100020100" + Tlv("30", row.bindings)));
        std::vector<uint8_t> bytes;
        for (size_t i = 0; i < hex.size(); i += 2) {
            bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        }
        IncomingMessage message;
        std::vector<uint8_t> reply;
        ASSERT_EQ(TakeNotificationApart(bytes.data(), bytes.size(), message, reply, nullptr),
                  NotificationDrop::None)
            << hex;
        // No version takes another's framing.
        for (uint8_t version : {2, 3}) {
            std::vector<uint8_t> other = bytes;
            other[4] = version;
            IncomingMessage dropped;
            EXPECT_EQ(TakeNotificationApart(other.data(), other.size(), dropped, reply, nullptr),
                      NotificationDrop::Malformed)
                << hex;
        }
        sockaddr_in6 sender6 = {};
        sockaddr_in sender4 = {};
        sender6.sin6_family = AF_INET6;
        sender4.sin_family = AF_INET;
        const bool v6 = inet_pton(AF_INET6, row.sender, &sender6.sin6_addr) == 1;
        inet_pton(AF_INET, row.sender, &sender4.sin_addr);
        const sockaddr* sender = v6 ? reinterpret_cast<const sockaddr*>(&sender6)
                                    : reinterpret_cast<const sockaddr*>(&sender4);
        TrapRecord trap = {};
        const bool taken =
            TrapFromPdu(message.pdu, sender, v6 ? sizeof sender6 : sizeof sender4, &trap);
        EXPECT_EQ(taken ? Describe(trap) : "", row.reads) << hex;
        if (!taken) {  // untouched: the caller still owns every binding
            EXPECT_EQ(trap.enterprise.ids, nullptr);
        }
        FreeTrapRecord(&trap);
        FreeIncoming(message);
    }
}

}  // namespace
