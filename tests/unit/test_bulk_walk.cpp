// Version-2c walks through the built program against the system's snmpd: the
// same objects in the same order as the peer's snmpbulkwalk, the end of the
// agent's view, and a Counter64 read.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_processes.h"

namespace {

using testsupport::RunProgram;

// The identifiers of the OID lines that mibcli printed, in order.
std::vector<std::string> OursOids(const std::string& out)
{
    const std::string label = "          OID: ";
    std::vector<std::string> oids;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(label, 0) == 0 && line.size() > label.size()) {
            oids.push_back(line.substr(label.size(), line.size() - label.size() - 1));
        }
    }
    return oids;
}

// The identifiers that `snmpbulkwalk -On` printed, without their leading dot
// (and without its line for the end of the view, which repeats the last).
std::vector<std::string> PeerOids(const std::string& agent, const std::string& start)
{
    const auto peer = RunProgram(
        {"/usr/bin/snmpbulkwalk", "-v2c", "-On", "-c", "public", agent, start}, {"MIBS="});
    EXPECT_EQ(peer.exitCode, 0) << peer.err;
    std::vector<std::string> oids;
    std::istringstream lines(peer.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find(" = ");
        if (line.rfind(".", 0) == 0 && equals != std::string::npos &&
            line.find("No more variables") == std::string::npos) {
            oids.push_back(line.substr(1, equals - 1));
        }
    }
    return oids;
}

testsupport::ProcessResult Mibcli(const std::vector<std::string>& words)
{
    std::vector<std::string> argv = {MIBCLI_PATH, "-v", "2c"};
    argv.insert(argv.end(), words.begin(), words.end());
    return RunProgram(argv);
}

TEST(BulkWalkAgainstSnmpd, SystemIfTableAndIfXTableGiveThePeersObjectsInOrder)
{
    SNMPD_OR_END_TEST(snmpd);
    for (const char* branch : {"1.3.6.1.2.1.1", "1.3.6.1.2.1.2.2", "1.3.6.1.2.1.31.1.1"}) {
        const auto walk = Mibcli({"walk", snmpd.Address(), "public", branch});
        ASSERT_EQ(walk.exitCode, 0) << walk.err;
        const std::vector<std::string> peer = PeerOids(snmpd.Address(), branch);
        ASSERT_FALSE(peer.empty()) << branch;
        EXPECT_EQ(OursOids(walk.out), peer) << branch;
        EXPECT_NE(walk.out.find("\nEnd of MIB branch\n"), std::string::npos) << branch;
    }
}

TEST(BulkWalkAgainstSnmpd, LongWalkFromALateObjectEndsAtTheEndOfTheView)
{
    SNMPD_OR_END_TEST(snmpd);
    const std::vector<std::string> tail = PeerOids(snmpd.Address(), "1.3.6.1.6.3");
    ASSERT_GE(tail.size(), 4u);
    const auto walk = Mibcli({"-l", "walk", snmpd.Address(), "public", tail[tail.size() - 4]});
    ASSERT_EQ(walk.exitCode, 0) << walk.err;
    EXPECT_EQ(OursOids(walk.out), std::vector<std::string>(tail.end() - 3, tail.end()));
    EXPECT_EQ(walk.out.find("End of MIB branch"), std::string::npos);
    EXPECT_EQ(walk.out.find("Walk stopped"), std::string::npos);
}

TEST(BulkWalkAgainstSnmpd, IfHCInOctetsReadsAsACounter64)
{
    SNMPD_OR_END_TEST(snmpd);
    const auto get = Mibcli({"get", snmpd.Address(), "public", "ifHCInOctets.1"});
    ASSERT_EQ(get.exitCode, 0) << get.err;
    EXPECT_NE(get.out.find("          OID: 1.3.6.1.2.1.31.1.1.1.6.1 \n"
                           "         Type: Counter64\n"
                           "        Value: "),
              std::string::npos)
        << get.out;
    EXPECT_EQ(get.out.find("Length:"), std::string::npos);
}

}  // namespace
