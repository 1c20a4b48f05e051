// The identifiers of the standard modules that other modules import from, so
// that an import from them resolves with no file at hand. The compiled MIB-II
// rows already hold RFC1155-SMI, SNMPv2-SMI's registration tree and
// RFC1213-MIB; these are the rest, each block from its RFC. SNMPv2-TC,
// SNMPv2-CONF, RFC-1212 and RFC-1215 define macros and types only.
#include "names/mib_modules.h"

#include <vector>

namespace {

constexpr MibRow kBaseRows[] = {
    // SNMPv2-SMI (RFC 2578 section 2).
    {"zeroDotZero", "ccitt", 0},
    // SNMPv2-MIB (RFC 3418).
    {"snmpMIB", "snmpModules", 1},
    {"snmpMIBObjects", "snmpMIB", 1},
    {"snmpTrap", "snmpMIBObjects", 4},
    {"snmpTrapOID", "snmpTrap", 1},
    {"snmpTrapEnterprise", "snmpTrap", 3},
    {"snmpTraps", "snmpMIBObjects", 5},
    {"coldStart", "snmpTraps", 1},
    {"warmStart", "snmpTraps", 2},
    {"authenticationFailure", "snmpTraps", 5},
    {"snmpSet", "snmpMIBObjects", 6},
    {"snmpSetSerialNo", "snmpSet", 1},
    {"snmpMIBConformance", "snmpMIB", 2},
    {"snmpMIBCompliances", "snmpMIBConformance", 1},
    {"snmpMIBGroups", "snmpMIBConformance", 2},
    // IF-MIB (RFC 2863).
    {"linkDown", "snmpTraps", 3},
    {"linkUp", "snmpTraps", 4},
    {"ifMIB", "mib-2", 31},
    {"ifMIBObjects", "ifMIB", 1},
    {"ifXTable", "ifMIBObjects", 1},
    {"ifXEntry", "ifXTable", 1},
    {"ifName", "ifXEntry", 1},
    {"ifInMulticastPkts", "ifXEntry", 2},
    {"ifInBroadcastPkts", "ifXEntry", 3},
    {"ifOutMulticastPkts", "ifXEntry", 4},
    {"ifOutBroadcastPkts", "ifXEntry", 5},
    {"ifHCInOctets", "ifXEntry", 6},
    {"ifHCInUcastPkts", "ifXEntry", 7},
    {"ifHCInMulticastPkts", "ifXEntry", 8},
    {"ifHCInBroadcastPkts", "ifXEntry", 9},
    {"ifHCOutOctets", "ifXEntry", 10},
    {"ifHCOutUcastPkts", "ifXEntry", 11},
    {"ifHCOutMulticastPkts", "ifXEntry", 12},
    {"ifHCOutBroadcastPkts", "ifXEntry", 13},
    {"ifLinkUpDownTrapEnable", "ifXEntry", 14},
    {"ifHighSpeed", "ifXEntry", 15},
    {"ifPromiscuousMode", "ifXEntry", 16},
    {"ifConnectorPresent", "ifXEntry", 17},
    {"ifAlias", "ifXEntry", 18},
    {"ifCounterDiscontinuityTime", "ifXEntry", 19},
    {"ifStackTable", "ifMIBObjects", 2},
    {"ifTableLastChange", "ifMIBObjects", 5},
    {"ifStackLastChange", "ifMIBObjects", 6},
    {"ifConformance", "ifMIB", 2},
    // SNMP-FRAMEWORK-MIB (RFC 3411).
    {"snmpFrameworkMIB", "snmpModules", 10},
    {"snmpFrameworkAdmin", "snmpFrameworkMIB", 1},
    {"snmpFrameworkMIBObjects", "snmpFrameworkMIB", 2},
    {"snmpFrameworkMIBConformance", "snmpFrameworkMIB", 3},
    {"snmpEngine", "snmpFrameworkMIBObjects", 1},
    {"snmpEngineID", "snmpEngine", 1},
    {"snmpEngineBoots", "snmpEngine", 2},
    {"snmpEngineTime", "snmpEngine", 3},
    {"snmpEngineMaxMessageSize", "snmpEngine", 4},
    {"snmpAuthProtocols", "snmpFrameworkAdmin", 1},
    {"snmpPrivProtocols", "snmpFrameworkAdmin", 2},
    // SNMP-USER-BASED-SM-MIB and SNMP-VIEW-BASED-ACM-MIB (RFC 3414, 3415).
    {"snmpUsmMIB", "snmpModules", 15},
    {"snmpVacmMIB", "snmpModules", 16},
    // INET-ADDRESS-MIB (RFC 4001) and HOST-RESOURCES-MIB (RFC 2790).
    {"inetAddressMIB", "mib-2", 76},
    {"host", "mib-2", 25},
};

}  // namespace

const MibTable& MibBaseTable()
{
    static const std::vector<MibRow> rows = [] {
        size_t count = 0;
        const MibRow* compiled = MibBuiltInRows(&count);
        std::vector<MibRow> all(compiled, compiled + count);
        all.insert(all.end(), std::begin(kBaseRows), std::end(kBaseRows));
        return all;
    }();
    static const MibTable table = MibBuildTable(rows.data(), rows.size(), nullptr);
    return table;
}
