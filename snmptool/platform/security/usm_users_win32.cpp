// The credentials file's place and private reading on Windows:
// %APPDATA%\mibcli\users, refused when its access list lets others in.
#include <windows.h>

#include <aclapi.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "security/usm_users.h"
#include "security/usm_users_os.h"

namespace {

// A file larger than this is not a list of users.
constexpr long kMaxFileSize = 1 << 20;

// Rights that read or change the file, or its access list.
constexpr ACCESS_MASK kReadOrWrite = FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA |
                                     WRITE_DAC | WRITE_OWNER | GENERIC_READ | GENERIC_WRITE |
                                     GENERIC_ALL | MAXIMUM_ALLOWED;

bool IsTrusted(PSID who, PSID owner)
{
    return (owner != nullptr && EqualSid(who, owner)) || IsWellKnownSid(who, WinLocalSystemSid) ||
           IsWellKnownSid(who, WinBuiltinAdministratorsSid);
}

// Why the open file is not private, or "" when only its owner, SYSTEM and the
// Administrators may read or write it. Deny entries are not weighed: any grant
// to another is enough to refuse.
std::string AccessProblem(HANDLE file)
{
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &list, nullptr, &descriptor) != ERROR_SUCCESS) {
        return "its access list cannot be read";
    }
    bool shared = list == nullptr;  // no list at all lets everyone in
    for (DWORD i = 0; !shared && i < list->AceCount; ++i) {
        ACE_HEADER* entry = nullptr;
        if (!GetAce(list, i, reinterpret_cast<void**>(&entry))) {
            shared = true;
        } else if (entry->AceType == ACCESS_DENIED_ACE_TYPE ||
                   (entry->AceFlags & INHERIT_ONLY_ACE) != 0) {
            continue;
        } else if (entry->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            shared = true;  // a conditional or object grant: not worth the doubt
        } else {
            auto* grant = reinterpret_cast<ACCESS_ALLOWED_ACE*>(entry);
            shared = (grant->Mask & kReadOrWrite) != 0 && !IsTrusted(&grant->SidStart, owner);
        }
    }
    LocalFree(descriptor);
    return shared ? "others can read or write it; make it private (chmod 600)" : "";
}

}  // namespace

bool ReadPrivateFile(const std::string& path, std::vector<char>& bytes, bool& missing,
                     std::string& problem)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        missing = errno == ENOENT;
        problem = path + ": " + std::strerror(errno);
        return false;
    }
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    // A pipe or a device in the file's place would be read from for ever.
    problem = GetFileType(handle) == FILE_TYPE_DISK ? AccessProblem(handle) : "not a regular file";
    bool ok = problem.empty() && std::fseek(file, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(file) : -1;
    if (!problem.empty()) {
        problem = path + ": " + problem;
    } else if (size < 0 || size > kMaxFileSize || std::fseek(file, 0, SEEK_SET) != 0) {
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

std::string DefaultUsersFilePath()
{
    const char* appData = std::getenv("APPDATA");
    if (appData != nullptr && appData[0] != '\0') {
        return std::string(appData) + "\\mibcli\\users";
    }
    return "";
}
