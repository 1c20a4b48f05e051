// Helpers for the launcher's tests: a scratch directory that removes itself, files in it, and
// running a program there with a bounded wait.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace pkgtest {

struct ScratchDir {
    std::string path;

    ScratchDir()
    {
        std::string pattern = std::filesystem::temp_directory_path().string() + "/pkgrunner-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
        }
    }
    ~ScratchDir()
    {
        if (!path.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string At(const std::string& name) const
    {
        return path + "/" + name;
    }
};

inline void WriteFile(const std::string& path, const std::string& text, bool executable)
{
    std::ofstream(path, std::ios::binary) << text;
    chmod(path.c_str(), executable ? 0755 : 0644);
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A child script that logs "start <label>" with each argument in brackets, stays a moment so
// that a launcher that did not wait would start the next child before this one logs its end,
// then logs "end <label>" and exits with a failure status, which must not stop the run.
inline std::string LoggingScript(const std::string& label, const std::string& log)
{
    return "#!/bin/sh\n"
           "log='" +
           log +
           "'\n"
           "printf 'start %s' '" +
           label +
           "' >> \"$log\"\n"
           "for a in \"$@\"; do printf ' [%s]' \"$a\" >> \"$log\"; done\n"
           "printf '\\n' >> \"$log\"\n"
           "sleep 0.1\n"
           "printf 'end %s\\n' '" +
           label +
           "' >> \"$log\"\n"
           "exit 3\n";
}

struct RunResult {
    bool finished = false;  // false: it outlived the time limit and was killed
    int status = -1;        // exit status, or -1 when a signal ended it
    std::string err;
    std::string out;
};

// Starts a program in a directory with only a minimal PATH in its environment and the stop
// signals at their defaults (a test runner may have started us with some ignored), standard
// output and error going to files of the directory (or error to the given descriptor).
inline pid_t StartIn(const ScratchDir& dir, const std::vector<std::string>& argv,
                     int errorDescriptor = -1)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.path.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, dir.At(".stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errorDescriptor >= 0) {
        posix_spawn_file_actions_adddup2(&actions, errorDescriptor, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, dir.At(".stderr").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGHUP);
    sigaddset(&defaults, SIGCHLD);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> words;
    for (const std::string& word : argv) {
        words.push_back(const_cast<char*>(word.c_str()));
    }
    words.push_back(nullptr);
    char pathVariable[] = "PATH=/usr/bin:/bin";
    char* environment[] = {pathVariable, nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, words.data(), environment) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return pid;
}

// Waits at most limitMs for the program to end (sleeping in the kernel on its process
// descriptor), kills it if it does not, and collects what it left.
inline RunResult Finish(const ScratchDir& dir, pid_t pid, int limitMs)
{
    RunResult result;
    if (pid <= 0) {
        return result;
    }
    const int descriptor = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (descriptor >= 0) {
        pollfd watch = {descriptor, POLLIN, 0};
        result.finished = poll(&watch, 1, limitMs) == 1;
        close(descriptor);
    }
    if (!result.finished) {
        kill(pid, SIGKILL);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    }
    result.err = ReadFile(dir.At(".stderr"));
    result.out = ReadFile(dir.At(".stdout"));
    return result;
}

}  // namespace pkgtest
