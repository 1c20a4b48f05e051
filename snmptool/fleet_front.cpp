// The blocks, the tally and the set-up that every fleet command shares.
#include "fleet_front.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "message/dispatcher.h"
#include "security/usm_users.h"
#include "os/os_services.h"
#include "tool.h"

namespace {

const char* ListFaultText(AgentListFault fault)
{
    switch (fault) {
    case AgentListFault::Unresolved:
        return "Agent list item does not resolve";
    case AgentListFault::Unreadable:
        return "Agent list file cannot be read";
    case AgentListFault::TooMany:
        return "Agent list holds more than 1000000 agents, at";
    case AgentListFault::OutOfMemory:
        return "Agent list does not fit in memory";
    default:
        return "Agent list item not understood";
    }
}

}  // namespace

FleetFront::FleetFront(const AgentList& list)
    : list_(list), done_(list.agents.size(), false), progressWanted_(StderrIsConsole() != 0)
{
}

bool FleetFront::Stopping()
{
    DrawProgress();
    stopped_ = stopped_ || EscapePressed();
    return stopped_;
}

void FleetFront::DrawProgress()
{
    using std::chrono::duration;
    const auto now = std::chrono::steady_clock::now();
    if (!progressWanted_ || now - started_ < std::chrono::seconds(1) ||
        now - drawn_ < std::chrono::milliseconds(250)) {
        return;
    }
    drawn_ = now;
    progressShown_ = true;
    const double elapsed = duration<double>(now - started_).count();
    const size_t finished = answered_ + timedOut_ + failed_;
    PrintError("\rmibcli: %llu of %llu agents done, %.0f a second, %.1f s\x1b[K",
               static_cast<unsigned long long>(finished), static_cast<unsigned long long>(asked_),
               static_cast<double>(finished) / elapsed, elapsed);
}

void FleetFront::EraseProgress()
{
    if (progressShown_) {
        progressShown_ = false;
        PrintError("\r\x1b[K");
    }
}

void FleetFront::PrintFailure(uint32_t code)
{
    ReportFailure(FailureOfCode(code), FailureStream::Output, "mibcli: %s\n\n",
                  RequestFailureText(code).c_str());
}

bool FleetFront::AllAnswered() const
{
    return answered_ == asked_;
}

void FleetFront::StartRound()
{
    asked_ += done_.size();
    std::fill(done_.begin(), done_.end(), false);
    nextToPrint_ = 0;
}

void FleetFront::Complete(size_t agent, Outcome outcome)
{
    ++(outcome == Outcome::Answered ? answered_
                                    : (outcome == Outcome::TimedOut ? timedOut_ : failed_));
    done_[agent] = true;
    if (g_settings.completionOrder) {
        PrintBlock(agent);
        return;
    }
    while (nextToPrint_ < done_.size() && done_[nextToPrint_]) {
        PrintBlock(nextToPrint_++);
    }
}

void FleetFront::PrintFinished()
{
    // In the order of completion every finished block is out already.
    if (g_settings.completionOrder) {
        return;
    }
    for (; nextToPrint_ < done_.size(); ++nextToPrint_) {
        if (done_[nextToPrint_]) {
            PrintBlock(nextToPrint_);
        }
    }
}

void FleetFront::PrintBlock(size_t agent)
{
    EraseProgress();
    // JSON: every line of the block names the agent instead of a heading.
    g_result.agent = AgentLabel(list_.agents[agent]);
    PrintNote("Agent: %s\n", g_result.agent.c_str());
    PrintBody(agent);
    // A complete block goes out now, so that a reader of a pipe sees each as
    // it comes and a run stopped later loses none.
    fflush(stdout);
}

void FleetFront::PrintSummary()
{
    EraseProgress();
    PrintError("mibcli: %llu agents asked, %llu answered, %llu timed out, %llu failed.\n",
               static_cast<unsigned long long>(asked_), static_cast<unsigned long long>(answered_),
               static_cast<unsigned long long>(timedOut_),
               static_cast<unsigned long long>(failed_));
}

bool ExpandFleet(const char* agent, AgentList& list)
{
    AgentListProblem problem;
    if (ExpandAgentList(agent, list, problem)) {
        return true;
    }
    printf("mibcli: %s: %s\n", ListFaultText(problem.fault), problem.item.c_str());
    return false;
}

namespace {

// User and engine pairs whose keys the agents of a list share: every agent
// with its own engine costs a localisation anyway; only the memory is bounded.
constexpr size_t kMostSharedKeys = 4096;

struct CommunityModels : FleetModels {
    MessageModel* ModelFor(size_t agent) override
    {
        return models[list->agents[agent].community].get();
    }
    MessageModel& Reader() override
    {
        return *models[0];
    }

    const AgentList* list = nullptr;
    std::vector<std::unique_ptr<MessageModel>> models;
};

// Version 3: each agent its own engine, so its own model, for the user its
// community word names; the users file is read once for each name, and a
// user's keys are localised once for each engine, however many agents share it.
struct UserModels : FleetModels {
    MessageModel* ModelFor(size_t agent) override
    {
        std::unique_ptr<MessageModel>& model = live[agent];
        if (model == nullptr) {
            const UsmUser& user = *users[list->agents[agent].community];
            model = MakeUserModel(user.Copy(), keys, list->agents[agent].community);
            // -c and -e hold for every agent of the list, as for a single one.
            if (model != nullptr) {
                model->SetContext(g_settings.contextEngineId, g_settings.contextName);
            }
        }
        return model.get();
    }
    void Release(size_t agent) override
    {
        live.erase(agent);
    }
    MessageModel& Reader() override
    {
        return *reader;
    }

    const AgentList* list = nullptr;
    std::vector<std::unique_ptr<UsmUser>> users;
    UsmPeerCache keys{kMostSharedKeys};
    std::unique_ptr<MessageModel> reader;
    std::unordered_map<size_t, std::unique_ptr<MessageModel>> live;
};

std::unique_ptr<FleetModels> MakeUserModels(const AgentList& list, const char* community)
{
    auto models = std::make_unique<UserModels>();
    models->list = &list;
    for (size_t i = 0; i < list.communities.size(); ++i) {
        auto user = std::make_unique<UsmUser>();
        std::string problem;
        const char* name = i == 0 ? community : list.communities[i].c_str();
        if (!FindUser(UsersFilePath(), name, *user, problem)) {
            printf("mibcli: %s\n", problem.c_str());
            return nullptr;
        }
        models->users.push_back(std::move(user));
    }
    UsmUser anyone;
    models->reader = MakeUserModel(std::move(anyone));
    if (models->reader == nullptr) {
        ReportSystemError("SnmpMgrOpen() Error", GetLastError());
        return nullptr;
    }
    return models;
}

}  // namespace

std::unique_ptr<FleetModels> MakeFleetModels(const AgentList& list, const char* community)
{
    if (RequestCapabilities().userSecurity) {
        return MakeUserModels(list, community);
    }
    auto models = std::make_unique<CommunityModels>();
    models->list = &list;
    for (size_t i = 0; i < list.communities.size(); ++i) {
        const char* word = i == 0 ? community : list.communities[i].c_str();
        models->models.push_back(MakeCommunityModel(g_settings.version, word));
        if (models->models.back() == nullptr) {
            ReportSystemError("SnmpMgrOpen() Error", GetLastError());
            return nullptr;
        }
    }
    return models;
}

FleetSettings FleetSettingsFromOptions()
{
    FleetSettings settings;
    settings.timeout = std::chrono::milliseconds(SessionTimeout(g_settings.timeoutMs));
    settings.retries = static_cast<int32_t>(std::min<uint32_t>(g_settings.retries, INT32_MAX));
    settings.window = g_settings.window;
    settings.ratePerSecond = g_settings.ratePerSecond;
    return settings;
}

bool RunFleetExchange(const AgentList& list, FleetModels& models, FleetFront& front)
{
    front.StartRound();
    if (ExchangeWithFleet(list, models, FleetSettingsFromOptions(), front)) {
        front.PrintFinished();
        return true;
    }
    ReportSystemError("SnmpMgrRequest() Error", GetLastError());
    return false;
}
