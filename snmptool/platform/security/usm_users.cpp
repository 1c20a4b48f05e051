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

// name, auth protocol, auth passphrase, priv protocol, priv passphrase, and
// the engines pinned.
constexpr size_t kMaxWords = 6;
constexpr std::string_view kEnginesWord = "engines=";

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

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f') {
        return (c | 0x20) - 'a' + 10;
    }
    return -1;
}

// RFC 3411 section 5: an engine ID is 5 to 32 bytes.
bool ParseEngineId(std::string_view hex, std::vector<uint8_t>& id)
{
    if (hex.size() % 2 != 0 || hex.size() < 10 || hex.size() > 64) {
        return false;
    }
    id.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        id.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return true;
}

// Takes a last word "engines=hex,hex" off the line into `engines`; the reason
// why it does not parse, or null.
const char* TakeEngines(Line& line, std::vector<std::vector<uint8_t>>& engines)
{
    if (line.count < 2 ||
        line.words[line.count - 1].substr(0, kEnginesWord.size()) != kEnginesWord) {
        return line.count == kMaxWords ? "too many words" : nullptr;
    }
    std::string_view list = line.words[--line.count].substr(kEnginesWord.size());
    for (;;) {
        const size_t comma = list.find(',');
        engines.emplace_back();
        if (!ParseEngineId(list.substr(0, comma), engines.back())) {
            return "an engine ID is 5 to 32 bytes in hex";
        }
        if (comma == std::string_view::npos) {
            return nullptr;
        }
        list.remove_prefix(comma + 1);
    }
}

const char* CheckLine(Line& line, UsmUser& user)
{
    // A quoted "" is no name: usmUserName holds at least one octet (RFC 3414
    // section 5).
    if (line.words[0].empty()) {
        return "a user needs a name";
    }
    const char* reason = TakeEngines(line, user.engines);
    if (reason != nullptr) {
        return reason;
    }
    if (line.count == 2 || line.count == 4) {
        return "a protocol needs its passphrase";
    }
    // Words are never quoted back: a misplaced one may be a passphrase.
    if (line.count >= 3 && !ParseAuthProtocol(line.words[1], user.auth)) {
        return "the second word is not an authentication protocol "
               "(MD5, SHA, SHA-224, SHA-256, SHA-384, SHA-512)";
    }
    if (line.count == 5 && !ParsePrivProtocol(line.words[3], user.priv)) {
        return "the fourth word is not a privacy protocol (DES, AES, AES-192, AES-256)";
    }
    if ((line.count >= 3 && line.words[2].size() < kMinPassphraseSize) ||
        (line.count == 5 && line.words[4].size() < kMinPassphraseSize)) {
        return "a passphrase needs at least 8 characters";
    }
    user.name.assign(line.words[0]);
    if (line.count >= 3) {
        user.authPassphrase.assign(line.words[2]);
    }
    if (line.count == 5) {
        user.privPassphrase.assign(line.words[4]);
    }
    return nullptr;
}

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Every user of the file, each with the number of its line.
bool ParseUsers(const std::string& path, std::string_view text, std::vector<UsmUser>& users,
                std::string& problem)
{
    std::vector<size_t> lines;
    size_t lineNumber = 0;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        ++lineNumber;
        Line line;
        UsmUser user;
        const char* reason = SplitLine(text.substr(start, end - start), line);
        if (reason == nullptr && line.count > 0) {
            reason = CheckLine(line, user);
        }
        if (reason != nullptr) {
            problem = path + " line " + std::to_string(lineNumber) + ": " + reason;
            return false;
        }
        for (size_t i = 0; line.count > 0 && i < users.size(); ++i) {
            if (SameName(users[i].name, user.name)) {
                problem = path + " line " + std::to_string(lineNumber) + ": " + user.name +
                          " is listed on line " + std::to_string(lines[i]) + " already";
                return false;
            }
        }
        if (line.count > 0) {
            users.push_back(std::move(user));
            lines.push_back(lineNumber);
        }
        start = end + 1;
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
        engines = std::move(other.engines);
        other.Wipe();
    }
    return *this;
}

UsmUser UsmUser::Copy() const
{
    UsmUser copy;
    copy.name = name;
    copy.auth = auth;
    copy.authPassphrase = authPassphrase;
    copy.priv = priv;
    copy.privPassphrase = privPassphrase;
    copy.engines = engines;
    return copy;
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

UsersFile LoadUsers(const std::string& path, std::vector<UsmUser>& users, std::string& problem)
{
    users.clear();
    std::vector<char> bytes;
    if (path.empty()) {
        problem = "no users file: set MIBCLI_USERS to its path";
        return UsersFile::Missing;
    }
    bool missing = false;
    if (!ReadPrivateFile(path, bytes, missing, problem)) {
        WipeBytes(bytes.data(), bytes.size());
        return missing ? UsersFile::Missing : UsersFile::Refused;
    }
    const bool ok = ParseUsers(path, std::string_view(bytes.data(), bytes.size()), users, problem);
    WipeBytes(bytes.data(), bytes.size());
    if (!ok) {
        users.clear();
    }
    return ok ? UsersFile::Read : UsersFile::Refused;
}

bool FindUser(const std::string& path, const std::string& name, UsmUser& user, std::string& problem)
{
    user.Wipe();
    user.name = name;
    std::vector<UsmUser> users;
    if (LoadUsers(path, users, problem) != UsersFile::Read) {
        return false;
    }
    for (UsmUser& listed : users) {
        if (SameName(listed.name, name)) {
            user = std::move(listed);
            return true;
        }
    }
    // Never sent without the security the user meant: a typo in the name
    // would otherwise go out unauthenticated, a set too.
    problem =
        path + ": lists no user " + name + " (a line with the name alone uses no authentication)";
    return false;
}

std::string UsersFilePath()
{
    const char* explicitPath = std::getenv("MIBCLI_USERS");
    if (explicitPath != nullptr && explicitPath[0] != '\0') {
        return explicitPath;
    }
    return DefaultUsersFilePath();
}
