// Reading the credentials file (its place and reading are the system's
// part, usm_users_os.h). The file's bytes and every passphrase copy
// are wiped once the lookup is done.
#include "security/usm_users.h"

#include <strings.h>

#include <cstdlib>
#include <string_view>
#include <vector>

#include "security/usm_users_os.h"

namespace {

// name, auth protocol, auth passphrase, priv protocol, priv passphrase.
constexpr size_t kMaxWords = 5;

struct Line {
    std::string_view words[kMaxWords];
    size_t count = 0;
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// Splits a line into words; a word in double quotes may hold blanks. The
// reason why it does not split, or null.
const char* SplitLine(std::string_view text, Line& line)
{
    size_t at = 0;
    for (;;) {
        while (at < text.size() && IsBlank(text[at])) {
            ++at;
        }
        if (at == text.size()) {
            return nullptr;
        }
        if (line.count == 0 && text[at] == '#') {
            return nullptr;
        }
        if (line.count == kMaxWords) {
            return "too many words";
        }
        size_t start = at;
        size_t end = 0;
        if (text[at] == '"') {
            end = text.find('"', at + 1);
            if (end == std::string_view::npos) {
                return "a quote is not closed";
            }
            start = at + 1;
            at = end + 1;
            if (at < text.size() && !IsBlank(text[at])) {
                return "a closing quote must end its word";
            }
        } else {
            while (at < text.size() && !IsBlank(text[at])) {
                ++at;
            }
            end = at;
        }
        line.words[line.count++] = text.substr(start, end - start);
    }
}

const char* CheckLine(const Line& line, AuthProtocol& auth, PrivProtocol& priv)
{
    if (line.count == 2 || line.count == 4) {
        return "a protocol needs its passphrase";
    }
    // Words are never quoted back: a misplaced one may be a passphrase.
    if (line.count >= 3 && !ParseAuthProtocol(line.words[1], auth)) {
        return "the second word is not an authentication protocol "
               "(MD5, SHA, SHA-224, SHA-256, SHA-384, SHA-512)";
    }
    if (line.count == 5 && !ParsePrivProtocol(line.words[3], priv)) {
        return "the fourth word is not a privacy protocol (DES, AES, AES-192, AES-256)";
    }
    if ((line.count >= 3 && line.words[2].size() < kMinPassphraseSize) ||
        (line.count == 5 && line.words[4].size() < kMinPassphraseSize)) {
        return "a passphrase needs at least 8 characters";
    }
    return nullptr;
}

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool ParseUsers(const std::string& path, std::string_view text, const std::string& name,
                UsmUser& user, std::string& problem)
{
    size_t lineNumber = 0;
    size_t foundOn = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        ++lineNumber;
        Line line;
        AuthProtocol auth = AuthProtocol::None;
        PrivProtocol priv = PrivProtocol::None;
        const char* reason = SplitLine(text.substr(start, end - start), line);
        if (reason == nullptr && line.count > 0) {
            reason = CheckLine(line, auth, priv);
        }
        if (reason != nullptr) {
            problem = path + " line " + std::to_string(lineNumber) + ": " + reason;
            return false;
        }
        if (line.count > 0 && SameName(line.words[0], name)) {
            if (foundOn != 0) {
                problem = path + " line " + std::to_string(lineNumber) + ": " +
                          std::string(line.words[0]) + " is listed on line " +
                          std::to_string(foundOn) + " already";
                return false;
            }
            foundOn = lineNumber;
            user.name.assign(line.words[0]);
            user.auth = auth;
            user.priv = priv;
            if (line.count >= 3) {
                user.authPassphrase.assign(line.words[2]);
            }
            if (line.count == 5) {
                user.privPassphrase.assign(line.words[4]);
            }
        }
        start = end + 1;
    }
    if (foundOn == 0) {
        // Never sent without the security the user meant: a typo in the name
        // would otherwise go out unauthenticated, a set too.
        problem = path + ": lists no user " + name +
                  " (a line with the name alone uses no authentication)";
        return false;
    }
    return true;
}

}  // namespace

UsmUser::UsmUser(UsmUser&& other) noexcept
{
    *this = std::move(other);
}

UsmUser& UsmUser::operator=(UsmUser&& other) noexcept
{
    if (this != &other) {
        Wipe();
        name = std::move(other.name);
        auth = other.auth;
        authPassphrase = std::move(other.authPassphrase);
        priv = other.priv;
        privPassphrase = std::move(other.privPassphrase);
        other.Wipe();
    }
    return *this;
}

UsmUser::~UsmUser()
{
    Wipe();
}

void UsmUser::Wipe()
{
    WipeString(authPassphrase);
    WipeString(privPassphrase);
    auth = AuthProtocol::None;
    priv = PrivProtocol::None;
}

bool FindUser(const std::string& path, const std::string& name, UsmUser& user, std::string& problem)
{
    user.Wipe();
    user.name = name;
    std::vector<char> bytes;
    if (path.empty()) {
        problem = "no users file: set MIBCLI_USERS to its path";
        return false;
    }
    if (!ReadPrivateFile(path, bytes, problem)) {
        WipeBytes(bytes.data(), bytes.size());
        return false;
    }
    bool ok = ParseUsers(path, std::string_view(bytes.data(), bytes.size()), name, user, problem);
    WipeBytes(bytes.data(), bytes.size());
    if (!ok) {
        user.Wipe();
        user.name = name;
    }
    return ok;
}

std::string UsersFilePath()
{
    const char* explicitPath = std::getenv("MIBCLI_USERS");
    if (explicitPath != nullptr && explicitPath[0] != '\0') {
        return explicitPath;
    }
    return DefaultUsersFilePath();
}
