// Our engine's state file on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "traps/local_engine_os.h"

namespace {

// A state file is two short lines.
constexpr size_t kMostStateBytes = 256;

std::string Failure(const std::string& path)
{
    return path + ": " + std::strerror(errno);
}

// Makes each missing folder of `path` up to its last part, private to us.
bool MakeFolders(const std::string& path, std::string& problem)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            problem = Failure(folder);
            return false;
        }
    }
    return true;
}

}  // namespace

std::string EngineStatePath()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] != '\0') {
        return std::string(state) + "/mibcli/engine";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.local/state/mibcli/engine";
    }
    return "";
}

bool ReadEngineState(const std::string& path, std::string& text, std::string& problem)
{
    text.clear();
    // Without blocking, and only a regular file, as for the users file.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            return true;
        }
        problem = Failure(path);
        return false;
    }
    struct stat info {};
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (!ok) {
        problem = path + ": not a regular file";
    }
    char buffer[kMostStateBytes];
    const ssize_t got = ok ? read(fd, buffer, sizeof buffer) : -1;
    if (ok && got < 0) {
        problem = Failure(path);
        ok = false;
    } else if (ok) {
        text.assign(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return ok;
}

bool WriteEngineState(const std::string& path, const std::string& text, std::string& problem)
{
    if (!MakeFolders(path, problem)) {
        return false;
    }
    // Written aside and renamed over, so that a crash never leaves half a file.
    const std::string aside = path + ".new";
    const int fd = open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        problem = Failure(aside);
        return false;
    }
    const bool written =
        write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && fsync(fd) == 0;
    if (!written) {
        problem = Failure(aside);
    }
    close(fd);
    if (written && rename(aside.c_str(), path.c_str()) != 0) {
        problem = Failure(path);
        return false;
    }
    return written;
}
