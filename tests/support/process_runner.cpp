// Running programs for the tests: started with pipes on all three streams,
// their output collected by a thread as it comes, every wait bounded.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "test_processes.h"

extern char** environ;

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

// How long the output of a program that has ended may still take to drain: a
// child of it may hold the pipes open.
constexpr int kDrainMs = 2000;

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& overrides)
{
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const std::string& override : overrides) {
            replaced = replaced || override.substr(0, override.find('=')) == name;
        }
        if (!replaced) {
            merged.push_back(text);
        }
    }
    merged.insert(merged.end(), overrides.begin(), overrides.end());
    return merged;
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

}  // namespace

struct BackgroundProcess::State {
    pid_t pid = -1;
    int outFd = -1;
    int errFd = -1;
    int inFd = -1;
    std::string stdinText;
    std::mutex mutex;
    std::condition_variable changed;
    std::string out;
    std::string err;
    bool outputClosed = false;
    bool stopReading = false;
    bool reaped = false;
    int waitStatus = 0;
    std::thread reader;

    // Reads both streams and writes standard input until the streams close.
    void Pump()
    {
        size_t written = 0;
        char buffer[65536];
        while (true) {
            pollfd fds[3];
            nfds_t count = 0;
            if (outFd >= 0) {
                fds[count++] = {outFd, POLLIN, 0};
            }
            if (errFd >= 0) {
                fds[count++] = {errFd, POLLIN, 0};
            }
            if (inFd >= 0) {
                fds[count++] = {inFd, POLLOUT, 0};
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                if ((outFd < 0 && errFd < 0) || stopReading) {
                    break;
                }
            }
            if (poll(fds, count, 50) <= 0) {
                continue;
            }
            for (nfds_t i = 0; i < count; ++i) {
                if (fds[i].revents == 0) {
                    continue;
                }
                int& fd = fds[i].fd == outFd ? outFd : (fds[i].fd == errFd ? errFd : inFd);
                if (&fd == &inFd) {
                    ssize_t n = write(inFd, stdinText.data() + written, stdinText.size() - written);
                    if (n > 0) {
                        written += static_cast<size_t>(n);
                    }
                    if (n < 0 || written == stdinText.size()) {
                        close(inFd);
                        inFd = -1;
                    }
                    continue;
                }
                ssize_t n = read(fd, buffer, sizeof buffer);
                std::lock_guard<std::mutex> lock(mutex);
                if (n > 0) {
                    (&fd == &outFd ? out : err).append(buffer, static_cast<size_t>(n));
                } else {
                    close(fd);
                    fd = -1;
                }
                changed.notify_all();
            }
        }
        std::lock_guard<std::mutex> lock(mutex);
        for (int* fd : {&outFd, &errFd, &inFd}) {
            if (*fd >= 0) {
                close(*fd);
                *fd = -1;
            }
        }
        outputClosed = true;
        changed.notify_all();
    }
};

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv,
                                     const std::vector<std::string>& env,
                                     const std::optional<std::string>& stdinText,
                                     const std::string& cwd)
    : state_(new State)
{
    // A program that stops reading its input must not kill the test with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> words = argv;
    std::vector<std::string> environment = MergedEnvironment(env);
    std::vector<char*> argp = Pointers(words);
    std::vector<char*> envp = Pointers(environment);
    int outPipe[2];
    int errPipe[2];
    int inPipe[2] = {-1, -1};
    if (argv.empty() || pipe2(outPipe, O_CLOEXEC) != 0) {
        return;
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return;
    }
    if (stdinText && pipe2(inPipe, O_CLOEXEC) != 0) {
        inPipe[0] = inPipe[1] = -1;
    }
    pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        int input = stdinText ? inPipe[0] : open("/dev/null", O_RDONLY);
        dup2(input, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) {
            _exit(127);
        }
        // Our own process group, so that a signal to the test's group does not reach it.
        setpgid(0, 0);
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (inPipe[0] >= 0) {
        close(inPipe[0]);
    }
    if (pid < 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        if (inPipe[1] >= 0) {
            close(inPipe[1]);
        }
        return;
    }
    state_->pid = pid;
    state_->outFd = outPipe[0];
    state_->errFd = errPipe[0];
    state_->inFd = inPipe[1];
    state_->stdinText = stdinText.value_or("");
    if (state_->inFd >= 0 && state_->stdinText.empty()) {
        close(state_->inFd);
        state_->inFd = -1;
    }
    state_->reader = std::thread([this] { state_->Pump(); });
}

BackgroundProcess::~BackgroundProcess()
{
    if (state_->pid > 0 && !state_->reaped) {
        kill(state_->pid, SIGKILL);
        Wait(5000);
    }
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stopReading = true;
    }
    if (state_->reader.joinable()) {
        state_->reader.join();
    }
    delete state_;
}

bool BackgroundProcess::Started() const
{
    return state_->pid > 0;
}

pid_t BackgroundProcess::Pid() const
{
    return state_->pid;
}

bool BackgroundProcess::WaitForText(int stream, const std::string& text, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(state_->mutex);
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const std::string& seen = stream == 1 ? state_->out : state_->err;
        if (seen.find(text) != std::string::npos) {
            return true;
        }
        if (state_->outputClosed || Clock::now() >= deadline) {
            return false;
        }
        state_->changed.wait_until(lock, deadline);
    }
}

std::string BackgroundProcess::OutputSoFar(int stream)
{
    std::lock_guard<std::mutex> lock(state_->mutex);
    return stream == 1 ? state_->out : state_->err;
}

void BackgroundProcess::Signal(int signo)
{
    if (state_->pid > 0 && !state_->reaped) {
        kill(state_->pid, signo);
    }
}

ProcessResult BackgroundProcess::Wait(int timeoutMs)
{
    ProcessResult result;
    result.started = Started();
    if (!result.started) {
        return result;
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!state_->reaped) {
        int status = 0;
        pid_t done = waitpid(state_->pid, &status, WNOHANG);
        if (done == state_->pid || (done < 0 && errno != EINTR)) {
            state_->reaped = true;
            state_->waitStatus = status;
            break;
        }
        if (Clock::now() >= deadline && !result.timedOut) {
            result.timedOut = true;
            kill(state_->pid, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    {
        std::unique_lock<std::mutex> lock(state_->mutex);
        state_->changed.wait_for(lock, std::chrono::milliseconds(kDrainMs),
                                 [this] { return state_->outputClosed; });
        state_->stopReading = true;
        result.out = state_->out;
        result.err = state_->err;
    }
    int status = state_->waitStatus;
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

ProcessResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::optional<std::string>& stdinText, int timeLimitMs,
                         const std::string& cwd)
{
    BackgroundProcess process(argv, env, stdinText, cwd);
    return process.Wait(timeLimitMs);
}

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/mibcli-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr) {
        path_ = buffer.data();
    }
}

TempDir::~TempDir()
{
    if (!path_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
}

const std::string& TempDir::Path() const
{
    return path_;
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const
{
    std::string full = path_ + "/" + name;
    std::ofstream file(full, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return full;
}

}  // namespace testsupport
