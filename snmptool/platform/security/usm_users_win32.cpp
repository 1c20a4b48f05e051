// The credentials file's place and reading on Windows: %APPDATA%\mibcli\users.
// Its access list is not checked yet; the profile folder it lives in is the
// user's own by default.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "security/usm_users.h"
#include "security/usm_users_os.h"

namespace {

// A file larger than this is not a list of users.
constexpr long kMaxFileSize = 1 << 20;

}  // namespace

bool ReadPrivateFile(const std::string& path, std::vector<char>& bytes, bool& missing,
                     std::string& problem)
{
    missing = false;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        missing = errno == ENOENT;
        problem = path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(file) : -1;
    if (size < 0 || size > kMaxFileSize || std::fseek(file, 0, SEEK_SET) != 0) {
        problem = path + ": too large for a users file";
        ok = false;
    } else {
        bytes.resize(static_cast<size_t>(size));
        ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (!ok) {
            problem = path + ": cut short while read";
        }
    }
    std::fclose(file);
    return ok;
}

std::string UsersFilePath()
{
    const char* explicitPath = std::getenv("MIBCLI_USERS");
    if (explicitPath != nullptr && explicitPath[0] != '\0') {
        return explicitPath;
    }
    const char* appData = std::getenv("APPDATA");
    if (appData != nullptr && appData[0] != '\0') {
        return std::string(appData) + "\\mibcli\\users";
    }
    return "";
}
