// Identifiers and their texts: one table of texts read both ways, texts that
// are refused (with the last-error code left 0, so the tool reports no system
// error), and every node of the name table and its instances through a round trip.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "names/mib_table.h"
#include "snmp_api.h"

namespace {

using Ids = std::vector<uint32_t>;

bool Read(const std::string& text, Ids& ids)
{
    AsnObjectIdentifier oid = {7, nullptr};
    const int result = SnmpMgrStrToOid(text.c_str(), &oid);
    ids.assign(oid.ids, oid.ids + oid.count);
    SnmpUtilOidFree(&oid);
    return result == 1;
}

std::string Name(const Ids& ids)
{
    AsnObjectIdentifier oid = {static_cast<uint32_t>(ids.size()),
                               const_cast<uint32_t*>(ids.data())};
    char* text = nullptr;
    EXPECT_EQ(SnmpMgrOidToStr(&oid, &text), 1);
    const std::string out = text != nullptr ? text : "";
    SnmpUtilMemFree(text);
    return out;
}

struct TextRow {
    const char* text;
    Ids ids;
    bool named;  // the name the identifier is given
};

const Ids kSysDescr0 = {1, 3, 6, 1, 2, 1, 1, 1, 0};

const TextRow kTexts[] = {
    {"system.sysDescr.0", kSysDescr0, true},
    {"1.3.6.1.2.1.1.1.0", kSysDescr0, false},
    {"sysDescr.0", kSysDescr0, false},
    {"1.3.6.internet.mgmt.mib-2.system.1.0", kSysDescr0, false},
    {"system", {1, 3, 6, 1, 2, 1, 1}, true},
    {"interfaces.ifTable.ifEntry.ifInOctets.4294967295",
     {1, 3, 6, 1, 2, 1, 2, 2, 1, 10, 4294967295u},
     true},
    {"ifInOctets.2", {1, 3, 6, 1, 2, 1, 2, 2, 1, 10, 2}, false},
    {"snmp.7", {1, 3, 6, 1, 2, 1, 11, 7}, true},
    {"ip.ipRouteTable.ipRouteEntry.ipRouteNextHop.127.0.0.1",
     {1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 127, 0, 0, 1},
     true},
    {".iso.org.dod.internet.mgmt.mib-2", {1, 3, 6, 1, 2, 1}, true},
    {".iso.org.dod.internet.mgmt.mib-2.25.1.1.0", {1, 3, 6, 1, 2, 1, 25, 1, 1, 0}, true},
    {".iso.org.dod.internet.private.enterprises.8072", {1, 3, 6, 1, 4, 1, 8072}, true},
    {".iso.org.dod.internet.snmpV2.snmpModules.snmpMIB.snmpMIBObjects.snmpTraps.linkUp",
     {1, 3, 6, 1, 6, 3, 1, 1, 5, 4},
     true},
    {".ccitt.0", {0, 0}, true},
    {".joint-iso-ccitt.4294967295", {2, 4294967295u}, true},
    {"tcp.13.1.tcpConnState", {1, 3, 6, 1, 2, 1, 6, 13, 1, 1}, false},
};

TEST(Names, TextsReadAndWrittenAsTheTableSays)
{
    for (const TextRow& row : kTexts) {
        Ids ids;
        EXPECT_TRUE(Read(row.text, ids)) << row.text;
        EXPECT_EQ(ids, row.ids) << row.text;
        if (row.named) {
            EXPECT_EQ(Name(row.ids), row.text);
        }
    }
}

TEST(Names, RefusedTextsLeaveNothingAndNoErrorCode)
{
    // clang-format off
    const std::string refused[] = {
        "", ".", "1..3", "1.3.", ".system", "-1", "1.3.x", " 1", "0x10", "4294967296", "sysdescr",
        "SYSTEM", "system.ifTable", "1.3.6.1.2.1.25.hrSystem", "cmot", "3", "1.40", ".iso.40",
        "system"};
    // clang-format on
    for (std::string text : refused) {
        if (text == "system") {  // 7 sub-identifiers and 122 more: one too many
            for (int i = 0; i < 122; ++i) {
                text += ".1";
            }
        }
        SetLastError(4242);
        Ids ids = {99};
        EXPECT_FALSE(Read(text, ids)) << '"' << text << '"';
        EXPECT_TRUE(ids.empty()) << '"' << text << '"';
        EXPECT_EQ(GetLastError(), 0u) << '"' << text << '"';
    }
}

void ExpectRoundTrip(const Ids& ids)
{
    const std::string text = Name(ids);
    Ids back;
    EXPECT_TRUE(Read(text, back)) << text;
    EXPECT_EQ(back, ids) << text;
}

TEST(Names, EveryNodeAndItsInstancesComeBackFromTheirText)
{
    const MibTable& table = MibBuiltInTable();
    for (uint32_t node = 1; node < table.nodes.size(); ++node) {
        Ids ids;
        for (uint32_t at = node; at != kMibRoot; at = table.nodes[at].parent) {
            ids.insert(ids.begin(), table.nodes[at].number);
        }
        ExpectRoundTrip(ids);
        ids.push_back(0);
        ExpectRoundTrip(ids);
        ids.back() = 4294967295u;
        ids.push_back(17);
        if (ids.size() > 3 || ids[0] == 2) {  // else 1.4294967295 has no encoding
            ExpectRoundTrip(ids);
        }
    }
    Ids longest(128, 4294967295u);  // the longest text there is
    longest[0] = 2;
    ExpectRoundTrip(longest);
}

}  // namespace
