// Identifiers to and from text, and the name table behind them: how each form
// of text is read, what is refused (with the last-error code left 0, so the
// tool reports no system error), how identifiers are named, that every
// identifier comes back unchanged from its text, and that the table's numbers
// are those of RFC 1213.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "names/mib_table.h"
#include "names/oid_names.h"
#include "snmp_api.h"

namespace {

using Ids = std::vector<uint32_t>;

// A sentinel the routines must overwrite when they refuse a text.
constexpr uint32_t kStaleError = 4242;

Ids ToIds(const AsnObjectIdentifier& oid)
{
    return Ids(oid.ids, oid.ids + oid.count);
}

std::string Dotted(const Ids& ids)
{
    std::string text;
    for (size_t i = 0; i < ids.size(); ++i) {
        text += (i > 0 ? "." : "") + std::to_string(ids[i]);
    }
    return text;
}

// Reads a text; false, with `ids` empty, when it is refused.
bool Read(const MibTable& table, const std::string& text, Ids& ids)
{
    AsnObjectIdentifier oid = {7, nullptr};
    // The compiled-in table goes through the manager routine itself.
    int result = &table == &MibBuiltInTable() ? SnmpMgrStrToOid(text.c_str(), &oid)
                                              : MibTextToOid(table, text.c_str(), &oid);
    ids = ToIds(oid);
    SnmpUtilOidFree(&oid);
    return result == 1;
}

// Names an identifier; an empty string, and `named` false, when no text came back.
std::string Name(const MibTable& table, const Ids& ids, bool* named = nullptr)
{
    AsnObjectIdentifier oid = {static_cast<uint32_t>(ids.size()),
                               const_cast<uint32_t*>(ids.data())};
    char* text = reinterpret_cast<char*>(1);
    int result = &table == &MibBuiltInTable() ? SnmpMgrOidToStr(&oid, &text)
                                              : MibOidToText(table, &oid, &text);
    std::string out = text != nullptr ? text : "";
    if (named != nullptr) {
        *named = result == 1 && text != nullptr;
    }
    SnmpUtilMemFree(text);
    return out;
}

// Text and back: the identifier must survive unchanged.
void ExpectRoundTrip(const MibTable& table, const Ids& ids)
{
    bool named = false;
    std::string text = Name(table, ids, &named);
    ASSERT_TRUE(named) << Dotted(ids);
    Ids back;
    ASSERT_TRUE(Read(table, text, back)) << Dotted(ids) << " -> " << text;
    EXPECT_EQ(back, ids) << Dotted(ids) << " -> " << text;
}

// Folds the first two arcs into what BER can carry (X.690 section 8.19.4): only
// such identifiers come off the wire or out of a text.
Ids Encodable(Ids ids)
{
    if (!ids.empty() && ids[0] > 2) {
        ids[0] %= 3;
    }
    if (ids.size() > 1 && ids[0] < 2) {
        ids[1] %= 40;
    }
    return ids;
}

Ids PathOf(const MibTable& table, uint32_t node)
{
    Ids ids;
    for (; node != kMibRoot; node = table.nodes[node].parent) {
        ids.insert(ids.begin(), table.nodes[node].number);
    }
    return ids;
}

const MibTable& BuiltIn()
{
    return MibBuiltInTable();
}

// ---- Text to identifier -------------------------------------------------

struct TextCase {
    const char* text;
    Ids ids;
};

TEST(StrToOid, ReadsEveryFormOfText)
{
    const Ids sysDescr0 = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    const TextCase cases[] = {
        // Numbers are absolute, with or without the leading dot.
        {"1.3.6.1.2.1.1.1.0", sysDescr0},
        {".1.3.6.1.2.1.1.1.0", sysDescr0},
        {"1", {1}},
        {"0", {0}},
        {"2.4294967295", {2, 4294967295u}},
        {"01.003", {1, 3}},
        // A child of mib-2 first: read from mib-2.
        {"system.sysDescr.0", sysDescr0},
        {"system", {1, 3, 6, 1, 2, 1, 1}},
        {"interfaces.ifTable.ifEntry.ifDescr.1", {1, 3, 6, 1, 2, 1, 2, 2, 1, 2, 1}},
        {"snmp.7", {1, 3, 6, 1, 2, 1, 11, 7}},
        // A top-level name, or a leading dot: read from the root.
        {".iso.org.dod.internet.private.enterprises.8072", {1, 3, 6, 1, 4, 1, 8072}},
        {"iso.3.6.1", {1, 3, 6, 1}},
        {".ccitt", {0}},
        {"joint-iso-ccitt.5", {2, 5}},
        {".iso.org.dod.internet.mgmt.mib-2", {1, 3, 6, 1, 2, 1}},
        // A name found once in the table: read from that node.
        {"sysDescr.0", sysDescr0},
        {"ifInOctets.2", {1, 3, 6, 1, 2, 1, 2, 2, 1, 10, 2}},
        {"enterprises.8072", {1, 3, 6, 1, 4, 1, 8072}},
        {"mib-2", {1, 3, 6, 1, 2, 1}},
        {"ipRouteEntry.ipRouteMask.10.0.0.0", {1, 3, 6, 1, 2, 1, 4, 21, 1, 11, 10, 0, 0, 0}},
        {"snmpTrapOID.0", {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0}},
        // Names and numbers mixed, each name a child of the node reached.
        {"1.3.6.internet.mgmt.mib-2.system.3.0", {1, 3, 6, 1, 2, 1, 1, 3, 0}},
        {".1.3.6.1.2.1.interfaces.2.ifEntry.10.7", {1, 3, 6, 1, 2, 1, 2, 2, 1, 10, 7}},
        {"tcp.13.1.tcpConnState", {1, 3, 6, 1, 2, 1, 6, 13, 1, 1}},
        // Past the named nodes, numbers only.
        {"1.3.6.1.2.1.25.1.1.0", {1, 3, 6, 1, 2, 1, 25, 1, 1, 0}},
    };
    for (const TextCase& c : cases) {
        Ids ids;
        EXPECT_TRUE(Read(BuiltIn(), c.text, ids)) << c.text;
        EXPECT_EQ(ids, c.ids) << c.text;
    }
}

TEST(StrToOid, RefusesWhatIsNotAnIdentifierWithLastErrorZero)
{
    std::string longest;  // 129 components
    for (int i = 0; i < 129; ++i) {
        longest += i > 0 ? ".1" : "1";
    }
    std::string expandsTooFar = "system";  // 7 sub-identifiers, then 122 more
    for (int i = 0; i < 122; ++i) {
        expandsTooFar += ".1";
    }
    const std::string refused[] = {
        "",
        ".",
        "..",
        "1..3",
        "1.3.",
        ".1.3.",
        "a..b",
        ".system",
        "-1",
        "+1",
        "1.-3",
        "1.3.x",
        " 1",
        "1 ",
        "1.3 .6",
        "0x10",
        "4294967296",
        "99999999999999999999999",
        "sysdescr",
        "SYSTEM",
        "Sysdescr.0",
        "nosuchname.1",
        "system.ifTable",
        "system.sysDescr.0.x",
        "1.3.6.1.2.1.25.hrSystem",
        "enterprises.8072.foo",
        "1.3.6.1.2.1.9.cmot",
        "cmot",
        "system.sysDescr.0.",
        longest,
        expandsTooFar,
        // Not encodable (X.690 section 8.19.4): a first arc above 2, a second
        // of 40 or more under 0 and 1.
        "3",
        "4294967295.0",
        "1.40",
        "0.40.1",
        ".iso.40",
    };
    for (const std::string& text : refused) {
        SetLastError(kStaleError);
        Ids ids = {99};
        EXPECT_FALSE(Read(BuiltIn(), text, ids)) << '"' << text << '"';
        EXPECT_TRUE(ids.empty()) << '"' << text << '"';
        EXPECT_EQ(GetLastError(), 0u) << '"' << text << '"';
    }
}

// ---- Identifier to text -------------------------------------------------

TEST(OidToStr, NamesRelativeToMib2OrAbsolute)
{
    const std::pair<Ids, const char*> cases[] = {
        {{1, 3, 6, 1, 2, 1, 1, 1, 0}, "system.sysDescr.0"},
        {{1, 3, 6, 1, 2, 1, 1}, "system"},
        {{1, 3, 6, 1, 2, 1, 2, 2, 1, 10, 4294967295u},
         "interfaces.ifTable.ifEntry.ifInOctets.4294967295"},
        {{1, 3, 6, 1, 2, 1, 11, 7}, "snmp.7"},
        {{1, 3, 6, 1, 2, 1, 11, 30, 0}, "snmp.snmpEnableAuthenTraps.0"},
        {{1, 3, 6, 1, 2, 1, 4, 21, 1, 7, 127, 0, 0, 1},
         "ip.ipRouteTable.ipRouteEntry.ipRouteNextHop.127.0.0.1"},
        // mib-2 itself, and branches of mib-2 the table does not name.
        {{1, 3, 6, 1, 2, 1}, ".iso.org.dod.internet.mgmt.mib-2"},
        {{1, 3, 6, 1, 2, 1, 25, 1, 1, 0}, ".iso.org.dod.internet.mgmt.mib-2.25.1.1.0"},
        {{1, 3, 6, 1, 2, 1, 9, 1}, ".iso.org.dod.internet.mgmt.mib-2.9.1"},
        // Outside mib-2.
        {{1, 3, 6, 1, 4, 1, 8072, 3, 2, 10},
         ".iso.org.dod.internet.private.enterprises.8072.3.2.10"},
        {{1, 3, 6, 1, 6, 3, 1, 1, 5, 4},
         ".iso.org.dod.internet.snmpV2.snmpModules.snmpMIB.snmpMIBObjects.snmpTraps.linkUp"},
        {{1}, ".iso"},
        {{0, 0}, ".ccitt.0"},
        {{2, 5}, ".joint-iso-ccitt.5"},
        {{7, 1}, ".7.1"},
        {{4294967295u}, ".4294967295"},
    };
    for (const auto& [ids, expected] : cases) {
        bool named = false;
        EXPECT_EQ(Name(BuiltIn(), ids, &named), expected) << Dotted(ids);
        EXPECT_TRUE(named) << Dotted(ids);
    }
}

TEST(OidToStr, NeverCutsTheLongestText)
{
    // 127 ten-digit numbers past the longest top-level name: the longest text.
    Ids ids(128, 4294967295u);
    ids[0] = 2;
    std::string expected = ".joint-iso-ccitt";
    for (size_t i = 1; i < ids.size(); ++i) {
        expected += ".4294967295";
    }
    EXPECT_EQ(Name(BuiltIn(), ids), expected);
    ExpectRoundTrip(BuiltIn(), ids);
}

// ---- Text and back ------------------------------------------------------

TEST(RoundTrip, EveryNodeOfTheTableAndItsInstances)
{
    const MibTable& table = BuiltIn();
    for (uint32_t node = 1; node < table.nodes.size(); ++node) {
        Ids ids = PathOf(table, node);
        ExpectRoundTrip(table, ids);
        ids.push_back(0);
        ExpectRoundTrip(table, ids);
        ids.back() = 4294967295u;
        ids.push_back(17);
        ExpectRoundTrip(table, Encodable(ids));
    }
}

TEST(RoundTrip, SeededRandomIdentifiers)
{
    const MibTable& table = BuiltIn();
    std::mt19937 random(20261206);
    auto pick = [&](uint32_t bound) {
        return std::uniform_int_distribution<uint32_t>(0, bound)(random);
    };
    for (int round = 0; round < 20000; ++round) {
        // Down the tree for a while, so that names occur, then anything.
        Ids ids;
        uint32_t node = kMibRoot;
        uint32_t length = 1 + pick(kMaxOidLength - 1);
        while (ids.size() < length) {
            bool named = node != kMibNone && table.nodes[node].childCount > 0;
            if (named && pick(9) > 0) {
                const MibNode& at = table.nodes[node];
                node = table.children[at.firstChild + pick(at.childCount - 1)];
                ids.push_back(table.nodes[node].number);
                continue;
            }
            node = kMibNone;
            const uint32_t bounds[] = {3, 40, 70000, 4294967295u};
            ids.push_back(pick(bounds[pick(3)]));
            if (ids.size() < length && pick(20) == 0) {
                break;  // also some short ones
            }
        }
        ExpectRoundTrip(table, Encodable(ids));
        if (HasFatalFailure() || HasNonfatalFailure()) {
            return;
        }
    }
}

// ---- The table ----------------------------------------------------------

TEST(MibTable, BuildsWithoutProblemsAndEveryNameIsUnique)
{
    size_t count = 0;
    const MibRow* rows = MibBuiltInRows(&count);
    std::vector<std::string> problems;
    MibTable table = MibBuildTable(rows, count, &problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    ASSERT_EQ(table.nodes.size(), count + 1);
    for (uint32_t node = 1; node < table.nodes.size(); ++node) {
        EXPECT_EQ(MibUniqueName(table, table.nodes[node].name), node) << table.nodes[node].name;
    }
    // Children in strictly increasing order: no number twice under one parent,
    // and the binary search finds each of them.
    for (const MibNode& node : table.nodes) {
        for (uint32_t i = 1; i < node.childCount; ++i) {
            uint32_t before = table.children[node.firstChild + i - 1];
            uint32_t after = table.children[node.firstChild + i];
            EXPECT_LT(table.nodes[before].number, table.nodes[after].number) << node.name;
        }
    }
    EXPECT_EQ(table.mib2, MibUniqueName(table, "mib-2"));
}

// Spot checks against RFC 1213: whole runs of columns, and the numbers that
// are easy to get wrong.
TEST(MibTable, NumbersAreThoseOfRfc1213)
{
    const char* ifColumns[] = {
        "ifIndex",       "ifDescr",        "ifType",          "ifMtu",         "ifSpeed",
        "ifPhysAddress", "ifAdminStatus",  "ifOperStatus",    "ifLastChange",  "ifInOctets",
        "ifInUcastPkts", "ifInNUcastPkts", "ifInDiscards",    "ifInErrors",    "ifInUnknownProtos",
        "ifOutOctets",   "ifOutUcastPkts", "ifOutNUcastPkts", "ifOutDiscards", "ifOutErrors",
        "ifOutQLen",     "ifSpecific"};
    const char* routeColumns[] = {
        "ipRouteDest",    "ipRouteIfIndex", "ipRouteMetric1", "ipRouteMetric2", "ipRouteMetric3",
        "ipRouteMetric4", "ipRouteNextHop", "ipRouteType",    "ipRouteProto",   "ipRouteAge",
        "ipRouteMask",    "ipRouteMetric5", "ipRouteInfo"};
    struct Run {
        Ids entry;
        const char* const* names;
        size_t count;
    };
    const Run runs[] = {
        {{1, 3, 6, 1, 2, 1, 2, 2, 1}, ifColumns, std::size(ifColumns)},
        {{1, 3, 6, 1, 2, 1, 4, 21, 1}, routeColumns, std::size(routeColumns)},
    };
    for (const Run& run : runs) {
        for (uint32_t column = 1; column <= run.count; ++column) {
            Ids expected = run.entry;
            expected.push_back(column);
            Ids ids;
            ASSERT_TRUE(Read(BuiltIn(), run.names[column - 1], ids)) << run.names[column - 1];
            EXPECT_EQ(ids, expected) << run.names[column - 1];
        }
    }
    const TextCase spots[] = {
        {"tcpConnState", {1, 3, 6, 1, 2, 1, 6, 13, 1, 1}},
        {"tcpOutRsts", {1, 3, 6, 1, 2, 1, 6, 15}},
        {"snmpInPkts", {1, 3, 6, 1, 2, 1, 11, 1}},
        {"snmpInTooBigs", {1, 3, 6, 1, 2, 1, 11, 8}},
        {"snmpOutBadValues", {1, 3, 6, 1, 2, 1, 11, 22}},
        {"snmpOutGenErrs", {1, 3, 6, 1, 2, 1, 11, 24}},
        {"snmpEnableAuthenTraps", {1, 3, 6, 1, 2, 1, 11, 30}},
        {"ipAdEntReasmMaxSize", {1, 3, 6, 1, 2, 1, 4, 20, 1, 5}},
        {"ipNetToMediaType", {1, 3, 6, 1, 2, 1, 4, 22, 1, 4}},
        {"ipRoutingDiscards", {1, 3, 6, 1, 2, 1, 4, 23}},
        {"atNetAddress", {1, 3, 6, 1, 2, 1, 3, 1, 1, 3}},
        {"icmpOutAddrMaskReps", {1, 3, 6, 1, 2, 1, 5, 26}},
        {"udpLocalPort", {1, 3, 6, 1, 2, 1, 7, 5, 1, 2}},
        {"egpNeighEventTrigger", {1, 3, 6, 1, 2, 1, 8, 5, 1, 15}},
        {"egpAs", {1, 3, 6, 1, 2, 1, 8, 6}},
    };
    for (const TextCase& spot : spots) {
        Ids ids;
        ASSERT_TRUE(Read(BuiltIn(), spot.text, ids)) << spot.text;
        EXPECT_EQ(ids, spot.ids) << spot.text;
    }
    // Never assigned in RFC 1213.
    for (uint32_t gap : {7u, 23u}) {
        EXPECT_EQ(MibChildByNumber(BuiltIn(), MibUniqueName(BuiltIn(), "snmp"), gap), kMibNone);
    }
}

// ---- Tables of the tests' own -------------------------------------------

// A small tree where "leaf" and "alpha" each occur twice.
const MibRow kTwinRows[] = {
    {"iso", nullptr, 1},    {"org", "iso", 3},          {"dod", "org", 6},
    {"internet", "dod", 1}, {"mgmt", "internet", 2},    {"mib-2", "mgmt", 1},
    {"alpha", "mib-2", 1},  {"beta", "mib-2", 2},       {"leaf", "alpha", 1},
    {"leaf", "beta", 1},    {"private", "internet", 4}, {"ent", "private", 1},
    {"alpha", "ent", 9},    {"gamma", "alpha", 5},
};

TEST(AmbiguousNames, ReadOnlyWhereTheyLeadToOneNode)
{
    std::vector<std::string> problems;
    MibTable table = MibBuildTable(kTwinRows, std::size(kTwinRows), &problems);
    // "gamma" names "alpha" as its parent, which is not unique.
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("gamma"), std::string::npos);

    Ids ids;
    SetLastError(kStaleError);
    EXPECT_FALSE(Read(table, "leaf.0", ids));
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_FALSE(Read(table, "gamma", ids));

    const TextCase cases[] = {
        // alpha under mib-2 wins over the alpha under ent.
        {"alpha.leaf.0", {1, 3, 6, 1, 2, 1, 1, 1, 0}},
        {"beta.leaf", {1, 3, 6, 1, 2, 1, 2, 1}},
        {"ent.alpha.3", {1, 3, 6, 1, 4, 1, 9, 3}},
        {".iso.org.dod.internet.private.ent.alpha", {1, 3, 6, 1, 4, 1, 9}},
    };
    for (const TextCase& c : cases) {
        EXPECT_TRUE(Read(table, c.text, ids)) << c.text;
        EXPECT_EQ(ids, c.ids) << c.text;
    }
    EXPECT_EQ(Name(table, {1, 3, 6, 1, 4, 1, 9, 1}), ".iso.org.dod.internet.private.ent.alpha.1");
    EXPECT_EQ(Name(table, {1, 3, 6, 1, 2, 1, 2, 1, 4}), "beta.leaf.4");
    for (uint32_t node = 1; node < table.nodes.size(); ++node) {
        ExpectRoundTrip(table, PathOf(table, node));
    }
}

}  // namespace
