// Our engine's state file on Windows, in the user's local application data.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "traps/local_engine_os.h"

namespace {

constexpr size_t kMostStateBytes = 256;

std::string Failure(const std::string& path)
{
    return path + ": " + std::strerror(errno);
}

}  // namespace

std::string EngineStatePath()
{
    const char* local = std::getenv("LOCALAPPDATA");
    if (local != nullptr && local[0] != '\0') {
        return std::string(local) + "\\mibcli\\engine";
    }
    return "";
}

bool ReadEngineState(const std::string& path, std::string& text, std::string& problem)
{
    text.clear();
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        if (errno == ENOENT) {
            return true;
        }
        problem = Failure(path);
        return false;
    }
    char buffer[kMostStateBytes];
    text.assign(buffer, std::fread(buffer, 1, sizeof buffer, file));
    const bool ok = std::ferror(file) == 0;
    if (!ok) {
        problem = path + ": cannot be read";
    }
    std::fclose(file);
    return ok;
}

// The folder inherits the profile's access list, which admits only the user.
bool WriteEngineState(const std::string& path, const std::string& text, std::string& problem)
{
    const std::string folder = path.substr(0, path.rfind('\\'));
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        problem = folder + ": cannot be made";
        return false;
    }
    const std::string aside = path + ".new";
    FILE* file = std::fopen(aside.c_str(), "wb");
    if (file == nullptr) {
        problem = Failure(aside);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed ||
        !MoveFileExA(aside.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        problem = path + ": cannot be written";
        return false;
    }
    return true;
}
