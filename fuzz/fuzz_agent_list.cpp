// Any bytes as an agent word and, after its first line end, the file that
// its "@" items name. An expansion lists at most kMostListedAgents agents,
// each address and port once, each with a community of the list and a
// numeric label; a refusal tells its fault and the item it names.
#include <sched.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>

#include "session/agent_list.h"
#include "fuzz_memory_file.h"

namespace {

// Host names the fuzzer makes up should reach no name server: the target
// runs in a network namespace of its own, where only the hosts file answers,
// where the system allows one. The seeds name only addresses and localhost,
// so their replay needs none.
void LeaveTheNetwork()
{
    static const bool left =
        unshare(CLONE_NEWNET) == 0 || unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0;
    static_cast<void>(left);
}

// Every "@" item of the word names the file in memory.
std::string PointFilesAt(std::string_view word, const std::string& path)
{
    std::string pointed;
    for (size_t start = 0; start <= word.size();) {
        const size_t comma = std::min(word.find(',', start), word.size());
        const std::string_view item = word.substr(start, comma - start);
        pointed += item.size() > 1 && item.front() == '@' ? "@" + path : std::string(item);
        if (comma < word.size()) {
            pointed += ',';
        }
        start = comma + 1;
    }
    return pointed;
}

void CheckExpansion(const AgentList& list)
{
    Require(list.agents.size() <= kMostListedAgents);
    Require(!list.communities.empty() && list.communities[0].empty());
    std::unordered_set<std::string> endpoints;
    for (const ListedAgent& agent : list.agents) {
        Require(agent.community < list.communities.size());
        Require(agent.endpointLength > 0 && agent.endpointLength <= agent.endpoint.size());
        const char* bytes = reinterpret_cast<const char*>(agent.endpoint.data());
        Require(endpoints.emplace(bytes, agent.endpointLength).second);
        Require(AgentLabel(agent) != "?");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LeaveTheNetwork();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t end = std::min(input.find('\n'), size);
    const size_t fileStart = std::min(end + 1, size);
    static const MemoryFile file("agent-list");
    const std::string path = file.Hold(data + fileStart, size - fileStart);
    const std::string word = PointFilesAt(input.substr(0, end), path);

    AgentList list;
    AgentListProblem problem;
    if (ExpandAgentList(word, list, problem)) {
        Require(problem.fault == AgentListFault::None);
        CheckExpansion(list);
        return 0;
    }
    Require(problem.fault != AgentListFault::None);
    if (problem.fault != AgentListFault::OutOfMemory && !word.empty()) {
        Require(!problem.item.empty());
        Require(word.find(problem.item) != std::string::npos ||
                problem.item.rfind(path + " line ", 0) == 0);
    }
    return 0;
}
