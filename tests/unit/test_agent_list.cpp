// Agent lists expand to each address once, in order, or are refused whole.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "session/agent_list.h"

namespace {

std::vector<std::string> Labels(const std::string& word, AgentListFault& fault)
{
    AgentList list;
    AgentListProblem problem;
    std::vector<std::string> labels;
    ExpandAgentList(word, list, problem);
    fault = problem.fault;
    for (const ListedAgent& agent : list.agents) {
        labels.push_back(AgentLabel(agent));
    }
    return labels;
}

TEST(AgentList, ExpandsRangesBlocksAndDuplicatesOnce)
{
    AgentListFault fault = AgentListFault::None;
    EXPECT_EQ(Labels("192.0.2.254-192.0.3.1:99", fault),
              (std::vector<std::string>{"192.0.2.254:99", "192.0.2.255:99", "192.0.3.0:99",
                                        "192.0.3.1:99"}));
    EXPECT_EQ(Labels("10.0.0.6/30,10.0.0.1-2,10.0.0.2:161,[::1]:7", fault),
              (std::vector<std::string>{"10.0.0.5:161", "10.0.0.6:161", "10.0.0.1:161",
                                        "10.0.0.2:161", "[::1]:7"}));
    EXPECT_EQ(Labels("10.0.0.9/31", fault),
              (std::vector<std::string>{"10.0.0.8:161", "10.0.0.9:161"}));
    EXPECT_EQ(fault, AgentListFault::None);
}

TEST(AgentList, RefusesBadItemsNamingThem)
{
    const struct {
        const char* word;
        AgentListFault fault;
        const char* item;
    } kCases[] = {
        {"10.0.0.1,,10.0.0.2", AgentListFault::Malformed, "10.0.0.1,,10.0.0.2"},
        {"10.0.0.9-3", AgentListFault::Malformed, "10.0.0.9-3"},
        {"10.0.0.1-300", AgentListFault::Malformed, "10.0.0.1-300"},
        {"10.0.0.0/24:0", AgentListFault::Malformed, "10.0.0.0/24:0"},
        {"10.0.0.1,10.0.0.0/33", AgentListFault::Malformed, "10.0.0.0/33"},
        {"10.0.0.0/8", AgentListFault::TooMany, "10.0.0.0/8"},
        {"10.0.0.0/13,10.8.0.0/13", AgentListFault::TooMany, "10.8.0.0/13"},
        {"10.0.0.1,@/nonexistent/agents", AgentListFault::Unreadable, "@/nonexistent/agents"},
    };
    for (const auto& c : kCases) {
        AgentList list;
        AgentListProblem problem;
        EXPECT_FALSE(ExpandAgentList(c.word, list, problem)) << c.word;
        EXPECT_EQ(problem.fault, c.fault) << c.word;
        EXPECT_EQ(problem.item, c.item) << c.word;
    }
}

TEST(AgentList, FileLinesCarryTheirCommunity)
{
    const std::string path = testing::TempDir() + "agents.txt";
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("# core\n10.0.0.1 secret\n\n10.0.0.2  # no community\n10.0.0.1 other\n"
               "10.0.0.3-4 secret\n10.0.0.5 a b\n",
               file);
    std::fclose(file);
    AgentList list;
    AgentListProblem problem;
    EXPECT_FALSE(ExpandAgentList("@" + path, list, problem));
    EXPECT_EQ(problem.item, path + " line 7");
    ASSERT_EQ(list.agents.size(), 4u);
    EXPECT_EQ(list.communities[list.agents[0].community], "secret");
    EXPECT_EQ(list.agents[1].community, 0u);
    EXPECT_EQ(list.agents[3].community, list.agents[0].community);
}

// A file without line ends (a device, an endless pipe) must not fill the memory.
TEST(AgentList, OverlongFileLineIsRefusedUnread)
{
    const std::string path = testing::TempDir() + "long-line.txt";
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("10.0.0.1\n", file);
    std::fputs((std::string(70000, ' ') + "10.0.0.2\n").c_str(), file);
    std::fclose(file);
    AgentList list;
    AgentListProblem problem;
    EXPECT_FALSE(ExpandAgentList("@" + path, list, problem));
    EXPECT_EQ(problem.fault, AgentListFault::Malformed);
    EXPECT_EQ(problem.item, path + " line 2");
}

TEST(AgentList, OnlyListsLeaveTheSingleAgentPath)
{
    for (const char* word : {"a,b", "@f", "192.0.2.1-254", "192.0.2.0/24:16161"}) {
        EXPECT_TRUE(IsAgentList(word)) << word;
    }
    for (const char* word : {"my-switch", "192.0.2.1:161", "[::1]:161", "10.0.0.1-x", "a/b"}) {
        EXPECT_FALSE(IsAgentList(word)) << word;
    }
}

}  // namespace
