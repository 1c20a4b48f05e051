// The identifiers of the standard modules that other modules import from, so
// that an import from them resolves with no file at hand. The compiled MIB-II
// rows already hold RFC1155-SMI, SNMPv2-SMI's registration tree, RFC1213-MIB
// and the SNMPv2-MIB and IF-MIB nodes that agents serve and traps carry; these
// are the rest, each block from its RFC. SNMPv2-TC,
// SNMPv2-CONF, RFC-1212 and RFC-1215 define macros and types only.
#include "names/mib_modules.h"

#include <vector>

namespace {

constexpr MibRow kBaseRows[] = {
    // SNMPv2-SMI (RFC 2578 section 2).
    {"zeroDotZero", "ccitt", 0},
    // SNMPv2-MIB (RFC 3418).
    {"snmpMIBConformance", "snmpMIB", 2},
    {"snmpMIBCompliances", "snmpMIBConformance", 1},
    {"snmpMIBGroups", "snmpMIBConformance", 2},
    // IF-MIB (RFC 2863).
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
