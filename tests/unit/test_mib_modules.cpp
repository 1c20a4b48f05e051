// Module files read at run time: the numbers our reader gives agree with two
// other toolkits (snmptranslate for a module it can read, snmpd's compiled
// objects for Debian's modules); the index follows the files; hostile files
// cost a warning each and the rest still loads.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "names/mib_modules.h"
#include "names/oid_names.h"
#include "snmp_api.h"
#include "test_processes.h"

namespace {

namespace fs = std::filesystem;

// An SMIv1 module that snmptranslate can read without the SMI modules, which
// Debian does not ship: its values start at iso.
const char kVendorModule[] = R"(ZETA-MIB DEFINITIONS ::= BEGIN
IMPORTS OBJECT-TYPE FROM RFC-1212 TRAP-TYPE FROM RFC-1215;
zeta OBJECT IDENTIFIER ::= { iso org(3) dod(6) internet(1) private(4) enterprises(1) 77777 }
zetaSystem OBJECT IDENTIFIER ::= { zeta 1 }
zetaTemp OBJECT-TYPE SYNTAX INTEGER ACCESS read-only STATUS mandatory
    DESCRIPTION "Celsius -- not a comment end" ::= { zetaSystem 3 }
zetaTable OBJECT-TYPE SYNTAX SEQUENCE OF ZetaEntry ACCESS not-accessible
    STATUS mandatory ::= { zeta 2 }
zetaEntry OBJECT-TYPE SYNTAX ZetaEntry ACCESS not-accessible STATUS mandatory
    INDEX { zetaIndex } ::= { zetaTable 1 }
ZetaEntry ::= SEQUENCE { zetaIndex INTEGER }
zetaIndex OBJECT-TYPE SYNTAX INTEGER { one(1), two(2) } ACCESS read-only
    STATUS mandatory ::= { zetaEntry 1 }
zetaHot TRAP-TYPE ENTERPRISE zeta VARIABLES { zetaTemp } DESCRIPTION "Hot." ::= 5
END
)";

struct Loaded {
    std::unique_ptr<MibModuleTable> modules;
    std::vector<std::string> warnings;
};

Loaded Load(const std::string& dir, const std::string& index = "")
{
    Loaded loaded;
    loaded.modules = MibLoadModules({dir}, index, loaded.warnings);
    return loaded;
}

// The dotted numbers of a name, or "-" when the table does not know it.
std::string Numbers(const Loaded& loaded, const std::string& name)
{
    AsnObjectIdentifier oid{0, nullptr};
    if (MibTextToOid(loaded.modules->table, name.c_str(), &oid) == 0) {
        return "-";
    }
    std::string text;
    for (uint32_t i = 0; i < oid.count; ++i) {
        text += "." + std::to_string(oid.ids[i]);
    }
    SnmpUtilOidFree(&oid);
    return text;
}

std::string Name(const Loaded& loaded, const std::string& numbers)
{
    AsnObjectIdentifier oid{0, nullptr};
    char* text = nullptr;
    if (MibTextToOid(loaded.modules->table, numbers.c_str(), &oid) == 0 ||
        MibOidToText(loaded.modules->table, &oid, &text) == 0) {
        return "-";
    }
    std::string name = text;
    SnmpUtilMemFree(text);
    SnmpUtilOidFree(&oid);
    return name;
}

TEST(MibModules, NumbersAgreeWithSnmptranslate)
{
    testsupport::TempDir dir;
    dir.Write("ZETA-MIB.txt", kVendorModule);
    Loaded loaded = Load(dir.Path());
    EXPECT_TRUE(loaded.warnings.empty());
    for (const char* name :
         {"zeta", "zetaSystem", "zetaTemp", "zetaTable", "zetaEntry", "zetaIndex", "zetaHot"}) {
        auto peer = testsupport::RunProgram({"/usr/bin/snmptranslate", "-M", dir.Path(), "-m",
                                             "ZETA-MIB", "-On", std::string("ZETA-MIB::") + name});
        ASSERT_TRUE(peer.started && peer.exitCode == 0) << peer.err;
        std::string expected = peer.out.substr(0, peer.out.find('\n'));
        EXPECT_EQ(Numbers(loaded, std::string("ZETA-MIB::") + name), expected) << name;
        EXPECT_EQ(Numbers(loaded, name), expected) << name;
        EXPECT_EQ(Numbers(loaded, Name(loaded, expected)), expected) << name;
    }
}

// (A walk by a NET-SNMP-AGENT-MIB name is the case names_snmpd_debian_modules.)
TEST(MibModules, DebianModulesNameWhatSnmpdServes)
{
    SNMPD_OR_END_TEST(snmpd);
    testsupport::TempDir cache;
    std::vector<std::string> env = {"MIBCLI_MIBDIRS=/usr/share/snmp/mibs",
                                    "XDG_CACHE_HOME=" + cache.Path()};
    // snmpd answers "no such name" to a number it does not serve; each name
    // must come back named the same way in the Name line.
    auto get = testsupport::RunProgram({MIBCLI_PATH, "get", snmpd.Address(), "public",
                                        "memTotalReal.0", "UCD-SNMP-MIB::memTotalReal.0",
                                        "NET-SNMP-AGENT-MIB::nsCacheDefaultTimeout.0"},
                                       env);
    EXPECT_EQ(get.err.find("MIB file"), std::string::npos) << get.err;
    EXPECT_NE(get.out.find("ErrorStatus: 0 (No Error)"), std::string::npos) << get.out;
    std::string ucd = "Name: .iso.org.dod.internet.private.enterprises.ucdavis.memory.";
    EXPECT_NE(get.out.find(ucd + "memTotalReal.0 \n          OID: 1.3.6.1.4.1.2021.4.5.0"),
              std::string::npos)
        << get.out;
}

TEST(MibModules, IndexFollowsTheFiles)
{
    testsupport::TempDir dir;
    testsupport::TempDir cache;
    std::string index = cache.Path() + "/sub/index";
    std::string module = std::string(kVendorModule);
    std::string path = dir.Write("ZETA-MIB.txt", module);
    dir.Write("README", "Not a module.");
    Loaded built = Load(dir.Path(), index);
    EXPECT_EQ(Numbers(built, "zetaTemp"), ".1.3.6.1.4.1.77777.1.3");
    EXPECT_EQ(built.warnings.size(), 1u);
    ASSERT_TRUE(fs::exists(index));

    // Same size and time: the index is current and the file is not read again.
    auto time = fs::last_write_time(path);
    std::string renamed = module;
    renamed.replace(renamed.find("zetaTemp"), 8, "zetaHeat");
    dir.Write("ZETA-MIB.txt", renamed);
    fs::last_write_time(path, time);
    Loaded current = Load(dir.Path(), index);
    EXPECT_EQ(Numbers(current, "zetaTemp"), ".1.3.6.1.4.1.77777.1.3");
    EXPECT_EQ(Numbers(current, "ZETA-MIB::zetaTemp"), ".1.3.6.1.4.1.77777.1.3");
    EXPECT_EQ(Numbers(current, "ZETA-MIB::zeta"), ".1.3.6.1.4.1.77777");
    EXPECT_TRUE(current.warnings.empty());  // told once, when the index was built

    // A damaged index and table are rebuilt, not believed.
    for (const char* suffix : {"", ".table"}) {
        std::string saved = index + suffix;
        fs::resize_file(saved, fs::file_size(saved) / 2);
    }
    EXPECT_EQ(Numbers(Load(dir.Path(), index), "zetaHeat"), ".1.3.6.1.4.1.77777.1.3");

    // A changed size is read again; a removed file is forgotten.
    dir.Write("ZETA-MIB.txt", renamed + "\n\n");
    Loaded changed = Load(dir.Path(), index);
    EXPECT_EQ(Numbers(changed, "zetaTemp"), "-");
    EXPECT_EQ(Numbers(changed, "zetaHeat"), ".1.3.6.1.4.1.77777.1.3");
    fs::remove(path);
    EXPECT_EQ(Numbers(Load(dir.Path(), index), "zetaHeat"), "-");

    // An index that cannot be written: the modules still load, silently.
    dir.Write("ZETA-MIB.txt", module);
    std::string blocked = dir.Write("not-a-dir", "") + "/index";
    Loaded unwritable = Load(dir.Path(), blocked);
    EXPECT_EQ(Numbers(unwritable, "zetaTemp"), ".1.3.6.1.4.1.77777.1.3");
    EXPECT_EQ(unwritable.warnings.size(), 2u);  // README, and not-a-dir itself
}

TEST(MibModules, HostileFilesCostOneWarningEach)
{
    testsupport::TempDir dir;
    dir.Write("ZETA-MIB.txt", kVendorModule);
    std::string nested = "DEEP DEFINITIONS ::= BEGIN\nx OBJECT IDENTIFIER ::= { iso 9 }\n" +
                         std::string(10000, '{') + std::string(10000, '}') + "\nEND\n";
    std::string chain = "CHAIN DEFINITIONS ::= BEGIN\nIMPORTS zeta FROM ZETA-MIB;\nc0 OBJECT "
                        "IDENTIFIER ::= { zeta 9 }\n";
    for (int i = 1; i < 10000; ++i) {
        chain += "c" + std::to_string(i) + " OBJECT IDENTIFIER ::= { c" + std::to_string(i - 1) +
                 " 1 }\n";
    }
    chain += "END\n";
    const std::pair<const char*, std::string> files[] = {
        {"junk.bin", std::string("\x7f"
                                 "ELF\x00\xff\xfe{{{\"",
                                 12) +
                         std::string(4096, '\xa5')},
        {"huge.txt", std::string(kSmiMaxFileBytes + 1, '\n')},
        {"self.txt", "SELF DEFINITIONS ::= BEGIN\nme OBJECT IDENTIFIER ::= { me 1 }\nEND\n"},
        {"cycle-a.txt", "CYA DEFINITIONS ::= BEGIN IMPORTS b FROM CYB;\n"
                        "a OBJECT IDENTIFIER ::= { b 1 } END"},
        {"cycle-b.txt", "CYB DEFINITIONS ::= BEGIN IMPORTS a FROM CYA;\n"
                        "b OBJECT IDENTIFIER ::= { a 1 } END"},
        {"deep.txt", nested},
        {"chain.txt", chain},
        {"unended.txt", "U DEFINITIONS ::= BEGIN\nu OBJECT IDENTIFIER ::= { iso 5 }\n\"open"},
        // Not hostile, but disagreeing: with MIB-II, with each other, and an
        // SMIv1 generic trap, which SNMPv2 names under snmpTraps.
        {"clash.txt", "CLASH DEFINITIONS ::= BEGIN IMPORTS zeta FROM ZETA-MIB;\n"
                      "sysDescr OBJECT IDENTIFIER ::= { zeta 50 }\n"
                      "myDescr OBJECT IDENTIFIER ::= { system 1 }\n"
                      "dup OBJECT IDENTIFIER ::= { zeta 51 }\n"
                      "cold TRAP-TYPE ENTERPRISE snmp ::= 0\nEND"},
        {"other.txt", "OTHER DEFINITIONS ::= BEGIN IMPORTS zeta FROM ZETA-MIB;\n"
                      "dup OBJECT IDENTIFIER ::= { zeta 52 } END"},
    };
    for (const auto& [name, text] : files) {
        dir.Write(name, text);
    }
    auto start = std::chrono::steady_clock::now();
    Loaded loaded = Load(dir.Path());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    const char* expected[] = {
        "chain.txt: 9879 definitions of CHAIN left out",
        "cycle-a.txt: 1 definitions of CYA left out",
        "cycle-b.txt: 1 definitions of CYB left out",
        "deep.txt skipped: braces nested too deep at line 3",
        "huge.txt skipped: larger than 8 MiB at line 8388609",
        "junk.bin skipped: no module header at line 1",
        "self.txt: 1 definitions of SELF left out (me is its own ancestor)",
        "unended.txt skipped: quoted text not ended at line 3",
    };
    ASSERT_EQ(loaded.warnings.size(), std::size(expected));
    for (const char* warning : expected) {
        EXPECT_TRUE(std::any_of(
            loaded.warnings.begin(), loaded.warnings.end(),
            [&](const std::string& line) { return line.find(warning) != std::string::npos; }))
            << warning;
    }
    EXPECT_EQ(Numbers(loaded, "zetaTemp"), ".1.3.6.1.4.1.77777.1.3");
    std::string deepest = Numbers(loaded, "zeta") + ".9";
    for (int i = 0; i < 120; ++i) {
        deepest += ".1";
    }
    EXPECT_EQ(Numbers(loaded, "CHAIN::c120"), deepest);
    EXPECT_EQ(Numbers(loaded, "c121"), "-");

    std::string sysDescr = Numbers(loaded, "system") + ".1";
    EXPECT_EQ(Numbers(loaded, "sysDescr"), sysDescr);
    EXPECT_EQ(Name(loaded, sysDescr), "system.sysDescr");
    EXPECT_EQ(Numbers(loaded, "myDescr"), sysDescr);
    EXPECT_EQ(Numbers(loaded, "CLASH::sysDescr"), Numbers(loaded, "zeta") + ".50");
    EXPECT_EQ(Numbers(loaded, "dup"), "-");
    EXPECT_EQ(Numbers(loaded, "OTHER::dup"), Numbers(loaded, "zeta") + ".52");
    EXPECT_EQ(Name(loaded, Numbers(loaded, "CLASH::dup")),
              ".iso.org.dod.internet.private.enterprises.zeta.dup");
    EXPECT_EQ(Numbers(loaded, "cold"), Numbers(loaded, "coldStart"));
    EXPECT_NE(Numbers(loaded, "cold"), "-");
}

}  // namespace
