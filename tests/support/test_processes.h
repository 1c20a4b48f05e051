// Starting and stopping the programs that the tests talk to: the bundled test
// agent, the system's snmpd, and the built programs themselves. Every wait here
// is bounded; every process started is stopped and reaped by its owner.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// What a finished program left behind.
struct ProcessResult {
    std::string out;        // standard output, whole
    std::string err;        // standard error, whole
    int exitCode = -1;      // exit status 0..255, or -1 when a signal ended it
    int signal = 0;         // the signal that ended it, 0 when it exited
    bool timedOut = false;  // the time limit ran out and the program was killed
    bool started = false;   // false when the program could not be started at all
};

// Runs `argv` (argv[0] is the program's path) with the current environment plus
// `env` ("NAME=VALUE" entries, overriding), feeding `stdinText` on standard input
// (or /dev/null when none), in working directory `cwd` (empty: the current one).
// SIGKILL after `timeLimitMs`.
ProcessResult RunProgram(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env = {},
                         const std::optional<std::string>& stdinText = std::nullopt,
                         int timeLimitMs = 20000, const std::string& cwd = "");

// A program running in the background whose output is collected as it comes, so
// that a test can wait for a line, send a signal, and then collect the result.
class BackgroundProcess {
public:
    BackgroundProcess(const std::vector<std::string>& argv,
                      const std::vector<std::string>& env = {},
                      const std::optional<std::string>& stdinText = std::nullopt,
                      const std::string& cwd = "");
    ~BackgroundProcess();  // SIGKILL when still running, then reaped
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    bool Started() const;
    pid_t Pid() const;
    // True once `text` has appeared on standard output (stream 1) or standard
    // error (stream 2); false after `timeoutMs` or when the program ended without it.
    bool WaitForText(int stream, const std::string& text, int timeoutMs = 10000);
    // What has arrived so far.
    std::string OutputSoFar(int stream);
    void Signal(int signo);
    // Waits up to `timeoutMs` for the end (SIGKILL after it, timedOut set) and
    // returns everything.
    ProcessResult Wait(int timeoutMs = 20000);

private:
    struct State;
    State* state_;
};

// A directory under $TMPDIR (or /tmp), removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const;
    // Writes `bytes` exactly to Path()/name and returns the full path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

// A free UDP port on 127.0.0.1 (bound to port 0 and released): a port that a
// program to be started may bind. Another process may take it meanwhile, so
// prefer programs that bind port 0 themselves and report the port.
uint16_t PickFreeUdpPort();

// The system's snmpd (/usr/sbin/snmpd) on a free loopback high port, with a
// configuration of its own in a temporary directory: read community "public",
// write community "private", both from 127.0.0.1; sysContact, sysName and
// sysLocation are left writable. Ready() is true once it answered a GET of
// sysUpTime.0 (waited for up to 15 s in the constructor). `extraConfig` lines
// are appended to the configuration.
class SnmpdAgent {
public:
    explicit SnmpdAgent(const std::string& extraConfig = "");
    ~SnmpdAgent();  // SIGTERM, SIGKILL after 5 s, reaped
    SnmpdAgent(const SnmpdAgent&) = delete;
    SnmpdAgent& operator=(const SnmpdAgent&) = delete;

    bool Installed() const;  // /usr/sbin/snmpd exists
    bool Ready() const;
    const std::string& Failure() const;
    std::string Address() const;  // "127.0.0.1:PORT"
    void Stop();

private:
    struct State;
    State* state_;
};

// True when MIBCLI_ALLOW_SKIP=1: tests that need snmpd may then skip when it is
// not installed; otherwise they fail.
bool SkipAllowed();

// Sends one datagram to a loopback address ("127.0.0.1:PORT" or "[::1]:PORT")
// and returns the first datagram that comes back within `timeoutMs`, or nothing.
std::optional<std::vector<uint8_t>>
UdpExchange(const std::string& address, const std::vector<uint8_t>& datagram, int timeoutMs = 2000);

}  // namespace testsupport

// In a TEST body: starts snmpd as `name`, or ends the test: failed, or skipped
// when snmpd is not installed and MIBCLI_ALLOW_SKIP=1.
#define SNMPD_OR_END_TEST(name)                                                                    \
    ::testsupport::SnmpdAgent name;                                                                \
    if (!name.Ready()) {                                                                           \
        if (!name.Installed() && ::testsupport::SkipAllowed()) {                                   \
            GTEST_SKIP() << name.Failure();                                                        \
        }                                                                                          \
        FAIL() << name.Failure();                                                                  \
    }
