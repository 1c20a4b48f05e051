// Running programs, peer tools and snmpd from a test: waits bounded, processes reaped.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    std::string out;
    std::string err;
    int exitCode = -1;  // -1 when a signal ended it
    bool started = false;
};

// Runs `argv` to its end, at most `timeLimitMs` (SIGKILL after it), with the
// environment plus `env` ("NAME=VALUE") and standard input from /dev/null.
ProcessResult RunProgram(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env = {}, int timeLimitMs = 20000);

// A directory removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // clang-format off
    const std::string& Path() const { return path_; }
    // clang-format on
    // Writes `bytes` to Path()/name and returns the full path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

// True when MIBCLI_ALLOW_SKIP=1: tests that need snmpd may skip without it.
bool SkipAllowed();

// The system's snmpd on a loopback port of its own with a configuration of its own:
// "public" reads and "private" writes from 127.0.0.1, `extraConfig` added.
// Ready() once snmpget had an answer from it. Restart() stops it and starts
// it again on the same port and saved state: the same engine, one more boot.
class SnmpdAgent {
public:
    explicit SnmpdAgent(const std::string& extraConfig = "");
    ~SnmpdAgent();
    SnmpdAgent(const SnmpdAgent&) = delete;
    SnmpdAgent& operator=(const SnmpdAgent&) = delete;
    bool Restart();
    bool Installed() const;
    void Stop();
    // clang-format off
    bool Ready() const { return ready_; }
    const std::string& Failure() const { return failure_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    // clang-format on

private:
    bool Start(const std::string& config);
    TempDir dir_;
    pid_t pid_ = -1;
    int socket_ = -1;
    uint16_t port_ = 0;
    bool ready_ = false;
    std::string failure_;
};

}  // namespace testsupport

// In a TEST body: snmpd as `name` (configuration lines may follow), or the test
// ends: failed, or skipped without snmpd when MIBCLI_ALLOW_SKIP=1.
#define SNMPD_OR_END_TEST(name, ...)                                                               \
    ::testsupport::SnmpdAgent name{__VA_ARGS__};                                                   \
    if (!name.Ready()) {                                                                           \
        if (!name.Installed() && ::testsupport::SkipAllowed()) {                                   \
            GTEST_SKIP() << name.Failure();                                                        \
        }                                                                                          \
        FAIL() << name.Failure();                                                                  \
    }
