// The credentials file's place and private reading on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "security/usm_users.h"
#include "security/usm_users_os.h"

namespace {

// A file larger than this is not a list of users.
constexpr size_t kMaxFileSize = 1 << 20;

}  // namespace

bool ReadPrivateFile(const std::string& path, std::vector<char>& bytes, bool& missing,
                     std::string& problem)
{
    // Without blocking: a FIFO put in the file's place would hold open() until
    // a writer came. Reading a regular file ignores the flag.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        missing = errno == ENOENT;
        problem = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    bool ok = false;
    if (fstat(fd, &info) != 0) {
        problem = path + ": " + std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        problem = path + ": not a regular file";
    } else if (info.st_uid != geteuid()) {
        problem = path + ": owned by another user; the users file must be your own";
    } else if ((info.st_mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH)) != 0) {
        problem = path + ": others can read or write it; make it private (chmod 600)";
    } else if (static_cast<size_t>(info.st_size) > kMaxFileSize) {
        problem = path + ": too large for a users file";
    } else {
        bytes.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        ok = true;
        while (ok && done < bytes.size()) {
            ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                problem = path + ": " + (got < 0 ? std::strerror(errno) : "cut short while read");
                ok = false;
            } else {
                done += static_cast<size_t>(got);
            }
        }
    }
    close(fd);
    return ok;
}

std::string DefaultUsersFilePath()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] != '\0') {
        return std::string(config) + "/mibcli/users";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.config/mibcli/users";
    }
    return "";
}
