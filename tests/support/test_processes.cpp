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
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace testsupport {

namespace {

std::vector<char*> Pointers(std::vector<std::string>& words)
{
    std::vector<char*> pointers;
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Starts `argv` with the environment plus `env`, standard input from
// /dev/null, standard output and error to `outFd` and `errFd`, and
// `passedSocket` (when not -1) as descriptor 3. The process ID, or -1.
pid_t Spawn(std::vector<std::string> argv, const std::vector<std::string>& env, int outFd,
            int errFd, int passedSocket = -1)
{
    std::vector<std::string> environment(env);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string name(*entry, std::strcspn(*entry, "=") + 1);
        bool overridden = false;
        for (const std::string& own : env) {
            overridden = overridden || own.rfind(name, 0) == 0;
        }
        if (!overridden) {
            environment.emplace_back(*entry);
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    if (passedSocket >= 0) {
        posix_spawn_file_actions_adddup2(&actions, passedSocket, 3);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, Pointers(argv).data(),
                    Pointers(environment).data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits up to `timeoutMs` for the process, SIGKILL after it; its exit code or -1.
int Reap(pid_t pid, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

ProcessResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         int timeLimitMs)
{
    TempDir dir;
    const std::string out = dir.Write("out", "");
    const std::string err = dir.Write("err", "");
    const int outFd = open(out.c_str(), O_WRONLY);
    const int errFd = open(err.c_str(), O_WRONLY);
    ProcessResult result;
    const pid_t pid = Spawn(argv, env, outFd, errFd);
    close(outFd);
    close(errFd);
    result.started = pid > 0;
    if (result.started) {
        result.exitCode = Reap(pid, timeLimitMs);
    }
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
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
    socket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    Start(dir_.Write("snmpd.conf", "agentAddress udp:" + Address() +
                                       "\nrocommunity public 127.0.0.1\n"
                                       "rwcommunity private 127.0.0.1\npersistentDir " +
                                       dir_.Path() + "/persist\n" + extraConfig + "\n"));
}

SnmpdAgent::~SnmpdAgent()
{
    Stop();
    close(socket_);
}

void SnmpdAgent::Stop()
{
    if (pid_ > 0) {
        // SIGTERM lets it save its state.
        kill(pid_, SIGTERM);
        Reap(pid_, 5000);
        pid_ = -1;
    }
}

bool SnmpdAgent::Start(const std::string& config)
{
    // The shell becomes snmpd, so its process ID is the one LISTEN_PID names.
    const std::string log = dir_.Write("snmpd.log", "");
    const int logFd = open(log.c_str(), O_WRONLY);
    pid_ = Spawn({"/bin/bash", "-c", "export LISTEN_PID=$$ LISTEN_FDS=1; exec \"$@\"", "snmpd",
                  "/usr/sbin/snmpd", "-f", "-Lo", "-C", "-c", config, "-p",
                  dir_.Path() + "/snmpd.pid"},
                 {"SNMP_PERSISTENT_DIR=" + dir_.Path() + "/persist", "MIBS="}, logFd, logFd,
                 socket_);
    close(logFd);
    for (int probe = 0; probe < 50 && !ready_ && pid_ > 0; ++probe) {
        ready_ = RunProgram({"/usr/bin/snmpget", "-v1", "-c", "public", "-r0", "-t0.2", "-On",
                             Address(), "1.3.6.1.2.1.1.3.0"},
                            {}, 5000)
                     .exitCode == 0;
    }
    if (!ready_) {
        Stop();
        failure_ = "snmpd did not answer on " + Address() + ": " + ReadFile(log);
    }
    return ready_;
}

bool SnmpdAgent::Restart()
{
    // With -C it reads only what -c names, so the saved state is named too.
    Stop();
    ready_ = false;
    return Start(dir_.Path() + "/snmpd.conf," + dir_.Path() + "/persist/snmpd.conf");
}

bool SnmpdAgent::Installed() const
{
    return access("/usr/sbin/snmpd", X_OK) == 0;
}

}  // namespace testsupport
