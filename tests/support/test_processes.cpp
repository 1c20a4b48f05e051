#include "test_processes.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace testsupport {

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<char*> Pointers(std::vector<std::string>& words)
{
    std::vector<char*> pointers;
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// The environment with `overrides` put in place of the entries they name.
std::vector<std::string> Merged(const std::vector<std::string>& overrides)
{
    std::vector<std::string> merged(overrides);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        bool overridden = false;
        for (const std::string& own : overrides) {
            overridden = overridden || own.compare(0, name.size(), name) == 0;
        }
        if (!overridden) {
            merged.push_back(text);
        }
    }
    return merged;
}

}  // namespace

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::vector<std::string>& env, int passedSocket)
{
    char outTemplate[] = "/tmp/mibcli-test-out-XXXXXX";
    char errTemplate[] = "/tmp/mibcli-test-err-XXXXXX";
    const int outFd = mkstemp(outTemplate);
    const int errFd = mkstemp(errTemplate);
    outPath_ = outTemplate;
    errPath_ = errTemplate;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    if (passedSocket >= 0) {
        posix_spawn_file_actions_adddup2(&actions, passedSocket, 3);
    }
    std::vector<std::string> words(argv);
    std::vector<std::string> environment = Merged(env);
    pid_t pid = -1;
    if (posix_spawn(&pid, words[0].c_str(), &actions, nullptr, Pointers(words).data(),
                    Pointers(environment).data()) == 0) {
        pid_ = pid;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(outFd);
    close(errFd);
}

BackgroundProcess::~BackgroundProcess()
{
    Wait(0);
    unlink(outPath_.c_str());
    unlink(errPath_.c_str());
}

void BackgroundProcess::Signal(int signo)
{
    if (pid_ > 0) {
        kill(pid_, signo);
    }
}

ProcessResult BackgroundProcess::Wait(int timeoutMs)
{
    ProcessResult result;
    result.started = pid_ > 0;
    if (pid_ > 0) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
    }
    result.out = ReadFile(outPath_);
    result.err = ReadFile(errPath_);
    return result;
}

ProcessResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         int timeLimitMs)
{
    BackgroundProcess process(argv, env);
    return process.Wait(timeLimitMs);
}

TempDir::TempDir()
{
    char name[] = "/tmp/mibcli-test-XXXXXX";
    if (mkdtemp(name) != nullptr) {
        path_ = name;
    }
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const
{
    const std::string path = path_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

int BindLoopbackUdp(uint16_t& port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

bool SkipAllowed()
{
    const char* allow = std::getenv("MIBCLI_ALLOW_SKIP");
    return allow != nullptr && std::string(allow) == "1";
}

SnmpdAgent::SnmpdAgent(const std::string& extraConfig)
{
    if (!Installed()) {
        failure_ = "/usr/sbin/snmpd is not installed (Debian package snmpd)";
        return;
    }
    // The port stays bound here for the agent's whole life and is handed to
    // every start (systemd's socket passing, which snmpd takes for the
    // agentAddress of that port): no other process can take it meanwhile.
    socket_ = BindLoopbackUdp(port_);
    Start(dir_.Write("snmpd.conf", "agentAddress udp:" + Address() +
                                       "\nrocommunity public 127.0.0.1\n"
                                       "rwcommunity private 127.0.0.1\npersistentDir " +
                                       dir_.Path() + "/persist\n" + extraConfig + "\n"));
}

SnmpdAgent::~SnmpdAgent()
{
    process_.reset();
    close(socket_);
}

bool SnmpdAgent::Start(const std::string& config)
{
    // The shell becomes snmpd, so its process ID is the one LISTEN_PID names.
    process_.emplace(
        std::vector<std::string>{"/bin/bash", "-c",
                                 "export LISTEN_PID=$$ LISTEN_FDS=1; exec \"$@\"", "snmpd",
                                 "/usr/sbin/snmpd", "-f", "-Lo", "-C", "-c", config, "-p",
                                 dir_.Path() + "/snmpd.pid"},
        std::vector<std::string>{"SNMP_PERSISTENT_DIR=" + dir_.Path() + "/persist", "MIBS="},
        socket_);
    for (int probe = 0; probe < 50 && !ready_; ++probe) {
        ready_ = RunProgram({"/usr/bin/snmpget", "-v1", "-c", "public", "-r0", "-t0.2", "-On",
                             Address(), "1.3.6.1.2.1.1.3.0"},
                            {}, 5000)
                     .exitCode == 0;
    }
    if (!ready_) {
        failure_ = "snmpd did not answer on " + Address() + ": " + process_->Wait(0).out;
        process_.reset();
    }
    return ready_;
}

bool SnmpdAgent::Restart()
{
    // SIGTERM lets it save its state; with -C it reads only what -c names, so
    // the saved state is named too.
    process_->Signal(SIGTERM);
    process_->Wait(5000);
    process_.reset();
    ready_ = false;
    return Start(dir_.Path() + "/snmpd.conf," + dir_.Path() + "/persist/snmpd.conf");
}

bool SnmpdAgent::Installed() const
{
    return access("/usr/sbin/snmpd", X_OK) == 0;
}

}  // namespace testsupport
