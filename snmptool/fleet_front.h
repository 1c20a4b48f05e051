// What the fleet's commands share: each agent's block printed once it is
// complete, in the order of the list (or of completion with -s), never
// interleaved; the tally of outcomes and its summary line; and the settings
// of the exchange from the options.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <vector>

#include "session/agent_list.h"
#include "session/fleet_exchange.h"

class FleetFront : public FleetConversation {
public:
    explicit FleetFront(const AgentList& list);

    // Escape or Ctrl+C: seen once, and remembered for the rounds after.
    bool Stopping() override;

    // Erases the progress line, and says on standard error how many agents were asked and what became of them.
    void PrintSummary();
    bool AllAnswered() const;
    // Ready for a round (the exchange starts one): every agent to be asked.
    void StartRound();
    // After a stop: the blocks that finished and still wait for one before
    // them go out now, in list order.
    void PrintFinished();

protected:
    enum class Outcome { Answered, TimedOut, Failed };
    // The agent's block is complete: printed now, or once those before it are.
    void Complete(size_t agent, Outcome outcome);
    // Prints the agent's results after its heading, and releases them.
    virtual void PrintBody(size_t agent) = 0;
    // Why the agent's request failed, in the block or as a JSON error line.
    static void PrintFailure(uint32_t code);

    const AgentList& list_;

private:
    void PrintBlock(size_t agent);
    void DrawProgress();
    void EraseProgress();

    std::vector<bool> done_;
    bool stopped_ = false;
    size_t nextToPrint_ = 0;
    size_t asked_ = 0;
    size_t answered_ = 0;
    size_t timedOut_ = 0;
    size_t failed_ = 0;
    // The progress line on a terminal: drawn once the work has taken a second.
    bool progressWanted_;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawn_ = started_;
};

// The list of the agent word, refused whole with one line naming the item.
bool ExpandFleet(const char* agent, AgentList& list);
// The models of the list in the version of -v: one per community, or in
// version 3 one per agent for the user its community word names. Null when
// they cannot be made (said here).
std::unique_ptr<FleetModels> MakeFleetModels(const AgentList& list, const char* community);
FleetSettings FleetSettingsFromOptions();
// The exchange, and its failure said; false when it could not run.
bool RunFleetExchange(const AgentList& list, FleetModels& models, FleetFront& front);

// A walk of every agent from `start` (-l: past its branch).
bool WalkFleet(const AgentList& agents, FleetModels& models, const AsnObjectIdentifier& start);
