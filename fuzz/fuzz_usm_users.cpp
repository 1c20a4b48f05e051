// Any bytes as a users file: every user loaded has a name, a passphrase of
// eight characters or more for each protocol it names and none otherwise,
// privacy only with authentication, pins of 5 to 32 bytes, and a name of its
// own in any case; FindUser finds it by that name in another case, and
// refuses a name that no line holds. A refusal names the file.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "security/usm_users.h"
#include "fuzz_memory_file.h"

namespace {

std::string OtherCase(const std::string& name)
{
    std::string other(name);
    for (char& c : other) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (std::isalpha(byte)) {
            c = static_cast<char>(std::islower(byte) ? std::toupper(byte) : std::tolower(byte));
        }
    }
    return other;
}

bool SameName(const std::string& a, const std::string& b)
{
    const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

void CheckUser(const UsmUser& user)
{
    Require(!user.name.empty());
    const bool authenticated = user.auth != AuthProtocol::None;
    const bool private_ = user.priv != PrivProtocol::None;
    Require(authenticated || !private_);
    Require(authenticated ? user.authPassphrase.size() >= kMinPassphraseSize
                          : user.authPassphrase.empty());
    Require(private_ ? user.privPassphrase.size() >= kMinPassphraseSize
                     : user.privPassphrase.empty());
    for (const std::vector<uint8_t>& engine : user.engines) {
        Require(engine.size() >= 5 && engine.size() <= 32);
    }
}

void CheckFound(const std::string& path, const UsmUser& listed)
{
    UsmUser found;
    std::string problem;
    Require(FindUser(path, OtherCase(listed.name), found, problem));
    Require(found.name == listed.name && found.auth == listed.auth &&
            found.priv == listed.priv && found.authPassphrase == listed.authPassphrase &&
            found.privPassphrase == listed.privPassphrase && found.engines == listed.engines);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const MemoryFile file("users");
    const std::string path = file.Hold(data, size);

    std::vector<UsmUser> users;
    std::string problem;
    const UsersFile read = LoadUsers(path, users, problem);
    if (read != UsersFile::Read) {
        Require(read == UsersFile::Refused && users.empty());
        Require(problem.rfind(path, 0) == 0);
        return 0;
    }
    std::string unlisted = "\x01";
    for (size_t i = 0; i < users.size(); ++i) {
        CheckUser(users[i]);
        for (size_t j = 0; j < i; ++j) {
            Require(!SameName(users[i].name, users[j].name));
        }
        unlisted += users[i].name;
    }
    // Each lookup reads the file again: the first few users are enough.
    for (size_t i = 0; i < users.size() && i < 4; ++i) {
        CheckFound(path, users[i]);
    }
    UsmUser stranger;
    Require(!FindUser(path, unlisted, stranger, problem));
    Require(problem.rfind(path + ": lists no user ", 0) == 0);
    return 0;
}
