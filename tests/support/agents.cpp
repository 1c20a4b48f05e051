// The system's snmpd for the tests that talk to it from inside a test program.
#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "ber/ber_codec.h"
#include "test_processes.h"

namespace testsupport {

namespace {

constexpr int kReadyTimeoutMs = 10000;
constexpr int kSnmpdReadyTimeoutMs = 15000;
constexpr int kStopTimeoutMs = 5000;
constexpr const char* kSnmpdPath = "/usr/sbin/snmpd";

// SIGTERM, then SIGKILL once the bounded wait is over; returns the exit status.
int StopProcess(std::unique_ptr<BackgroundProcess>& process)
{
    if (!process) {
        return -1;
    }
    process->Signal(SIGTERM);
    ProcessResult result = process->Wait(kStopTimeoutMs);
    process.reset();
    return result.exitCode;
}

// A GET of sysUpTime.0 answered by the agent at `address` under `community`.
bool AnswersGet(const std::string& address, const std::string& community)
{
    static uint32_t sysUpTime[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
    SnmpVarBind binding{};
    binding.name.count = 9;
    binding.name.ids = sysUpTime;
    binding.value.tag = ASN_NULL;
    SnmpMessage request;
    request.community = community;
    request.pduType = PDU_GET;
    request.requestId = 4242;
    request.bindings.bindings = &binding;
    request.bindings.count = 1;
    std::vector<uint8_t> bytes;
    if (!EncodeMessage(request, bytes)) {
        return false;
    }
    std::optional<std::vector<uint8_t>> answer = UdpExchange(address, bytes, 200);
    if (!answer) {
        return false;
    }
    SnmpMessage response;
    if (!DecodeMessage(answer->data(), answer->size(), response)) {
        return false;
    }
    bool ok = response.pduType == PDU_RESPONSE && response.requestId == 4242;
    FreeMessage(response);
    return ok;
}

}  // namespace

struct SnmpdAgent::State {
    TempDir dir;
    std::unique_ptr<BackgroundProcess> process;
    bool installed = false;
    bool ready = false;
    std::string failure;
    uint16_t port = 0;
};

SnmpdAgent::SnmpdAgent(const std::string& extraConfig) : state_(new State)
{
    state_->installed = access(kSnmpdPath, X_OK) == 0;
    if (!state_->installed) {
        state_->failure = std::string(kSnmpdPath) + " is not installed (Debian package snmpd)";
        return;
    }
    const std::string& dir = state_->dir.Path();
    // snmpd cannot report a port it picked itself, so a free one is chosen; if
    // another process takes it meanwhile, the start is tried again.
    for (int attempt = 0; attempt < 3 && !state_->ready; ++attempt) {
        state_->port = PickFreeUdpPort();
        std::string address = Address();
        std::ostringstream config;
        config << "agentAddress udp:" << address << "\n"
               << "rocommunity public 127.0.0.1\n"
               << "rwcommunity private 127.0.0.1\n"
               << "persistentDir " << dir << "/persist\n"
               << extraConfig << "\n";
        std::string configPath = state_->dir.Write("snmpd.conf", config.str());
        std::vector<std::string> argv = {kSnmpdPath, "-f",       "-Lo", "-C",
                                         "-c",       configPath, "-p",  dir + "/snmpd.pid"};
        state_->process = std::make_unique<BackgroundProcess>(
            argv, std::vector<std::string>{"SNMP_PERSISTENT_DIR=" + dir + "/persist", "MIBS="});
        auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kSnmpdReadyTimeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (AnswersGet(address, "public")) {
                state_->ready = true;
                break;
            }
            // snmpd says so when it gives up (a port taken meanwhile, a bad configuration).
            std::string said = state_->process->OutputSoFar(1) + state_->process->OutputSoFar(2);
            if (said.find("Server Exiting") != std::string::npos) {
                break;
            }
        }
        if (!state_->ready) {
            state_->failure = "snmpd did not answer on " + address + ": " +
                              state_->process->OutputSoFar(1) + state_->process->OutputSoFar(2);
            StopProcess(state_->process);
        }
    }
}

SnmpdAgent::~SnmpdAgent()
{
    Stop();
    delete state_;
}

bool SnmpdAgent::Installed() const
{
    return state_->installed;
}

bool SnmpdAgent::Ready() const
{
    return state_->ready;
}

const std::string& SnmpdAgent::Failure() const
{
    return state_->failure;
}

std::string SnmpdAgent::Address() const
{
    return "127.0.0.1:" + std::to_string(state_->port);
}

void SnmpdAgent::Stop()
{
    StopProcess(state_->process);
}

}  // namespace testsupport
