#include "process.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <vector>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "command_line.h"
#include "last_error_code.h"

extern char** environ;

namespace pkgrunner {

namespace {

enum ObjectKind { kProcessObject, kThreadObject };

struct KernelObject {
    ObjectKind kind;
    pid_t pid;
    bool ended;
};

std::string LauncherDirectory()
{
    std::vector<char> path(PATH_MAX + 1);
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (length <= 0) {
        return std::string();
    }
    const std::string self(path.data(), static_cast<std::size_t>(length));
    const std::size_t slash = self.rfind('/');
    if (slash == std::string::npos) {
        return std::string();
    }
    return self.substr(0, slash + 1);
}

bool IsProgramCandidate(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// The child's attributes: the signals the launcher blocks for its queue are unblocked again, so
// the child starts with the mask a freshly started program expects, and SIGPIPE, which the
// launcher ignores (see the entry), is back at its default.
bool PrepareSpawn(bool inheritHandles, posix_spawnattr_t* attributes,
                  posix_spawn_file_actions_t* actions)
{
    if (posix_spawnattr_init(attributes) != 0) {
        return false;
    }
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    if (posix_spawnattr_setsigmask(attributes, &none) != 0 ||
        posix_spawnattr_setsigdefault(attributes, &defaults) != 0 ||
        posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) != 0 ||
        posix_spawn_file_actions_init(actions) != 0) {
        posix_spawnattr_destroy(attributes);
        return false;
    }
    // Without handle inheritance the child keeps the standard streams and nothing else; with
    // it, every descriptor not marked close-on-exec (the inheritable ones) goes along.
    if (!inheritHandles && posix_spawn_file_actions_addclosefrom_np(actions, 3) != 0) {
        posix_spawn_file_actions_destroy(actions);
        posix_spawnattr_destroy(attributes);
        return false;
    }
    return true;
}

// The path a first word resolves to (see CreateProcessA), or empty when nothing is found.
std::string FindProgram(const std::string& firstWord)
{
    if (firstWord.find('/') != std::string::npos) {
        return firstWord;
    }
    std::vector<std::string> directories;
    directories.push_back(LauncherDirectory());
    directories.push_back("./");
    const char* path = std::getenv("PATH");
    if (path != nullptr) {
        const std::string list = path;
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t colon = list.find(':', start);
            if (colon == std::string::npos) {
                colon = list.size();
            }
            // An empty entry means the current directory, which was searched already.
            if (colon > start) {
                directories.push_back(list.substr(start, colon - start) + "/");
            }
            start = colon + 1;
        }
    }
    for (const std::string& directory : directories) {
        if (directory.empty()) {
            continue;
        }
        const std::string candidate = directory + firstWord;
        if (IsProgramCandidate(candidate)) {
            return candidate;
        }
    }
    return std::string();
}

}  // namespace

BOOL CreateProcessA(const char* applicationName, char* commandLine, void* /*processAttributes*/,
                    void* /*threadAttributes*/, BOOL inheritHandles, DWORD creationFlags,
                    void* environment, const char* currentDirectory, STARTUPINFOA* startupInfo,
                    PROCESS_INFORMATION* processInformation)
{
    if (commandLine == nullptr || startupInfo == nullptr || processInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (creationFlags != 0 || environment != nullptr || currentDirectory != nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    const std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty() && applicationName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string program;
    if (applicationName != nullptr) {
        program = applicationName;
    } else {
        program = FindProgram(words[0]);
    }
    if (program.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }

    std::vector<char*> argv;
    for (const std::string& word : words) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    if (argv.empty()) {
        argv.push_back(const_cast<char*>(program.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    if (!PrepareSpawn(inheritHandles != FALSE, &attributes, &actions)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    pid_t pid = 0;
    // This system's spawn reports a failed program load as its result, after the child that
    // tried it has already gone, so a failure here leaves nothing behind.
    const int failure =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failure != 0) {
        SetLastError(ErrorFromErrno(failure));
        return FALSE;
    }

    processInformation->hProcess = new KernelObject{kProcessObject, pid, false};
    processInformation->hThread = new KernelObject{kThreadObject, pid, false};
    processInformation->dwProcessId = static_cast<DWORD>(pid);
    // The first thread of a process carries the process's own number here.
    processInformation->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

bool ProcessHasEnded(HANDLE process)
{
    KernelObject* object = static_cast<KernelObject*>(process);
    if (object->ended) {
        return true;
    }
    while (true) {
        int status = 0;
        const pid_t reaped = waitpid(object->pid, &status, WNOHANG);
        if (reaped == object->pid) {
            object->ended = true;
            return true;
        }
        if (reaped == 0) {
            return false;
        }
        if (errno == EINTR) {
            continue;
        }
        // No such child any more: there is nothing left to wait for.
        object->ended = true;
        return true;
    }
}

BOOL CloseHandle(HANDLE object)
{
    if (object == nullptr || object == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    KernelObject* record = static_cast<KernelObject*>(object);
    if (record->kind == kProcessObject) {
        ProcessHasEnded(record);
    }
    delete record;
    return TRUE;
}

}  // namespace pkgrunner
