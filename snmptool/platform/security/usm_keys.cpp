// Protocol tables and key making of the user-based security model.
#include "security/usm_keys.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

namespace {

struct AuthEntry {
    AuthProtocol protocol;
    const char* name;
    HashKind hash;
    size_t macSize;
};

constexpr AuthEntry kAuthTable[] = {
    {AuthProtocol::Md5, "MD5", HashKind::Md5, 12},
    {AuthProtocol::Sha1, "SHA", HashKind::Sha1, 12},
    {AuthProtocol::Sha224, "SHA-224", HashKind::Sha224, 16},
    {AuthProtocol::Sha256, "SHA-256", HashKind::Sha256, 24},
    {AuthProtocol::Sha384, "SHA-384", HashKind::Sha384, 32},
    {AuthProtocol::Sha512, "SHA-512", HashKind::Sha512, 48},
};

struct PrivEntry {
    PrivProtocol protocol;
    const char* name;
    size_t keySize;
};

constexpr PrivEntry kPrivTable[] = {
    {PrivProtocol::Des, "DES", 16},
    {PrivProtocol::Aes128, "AES", 16},
    {PrivProtocol::Aes192, "AES-192", 24},
    {PrivProtocol::Aes256, "AES-256", 32},
};

const AuthEntry* FindAuth(AuthProtocol protocol)
{
    for (const AuthEntry& entry : kAuthTable) {
        if (entry.protocol == protocol) {
            return &entry;
        }
    }
    return nullptr;
}

const PrivEntry* FindPriv(PrivProtocol protocol)
{
    for (const PrivEntry& entry : kPrivTable) {
        if (entry.protocol == protocol) {
            return &entry;
        }
    }
    return nullptr;
}

bool SameWord(std::string_view word, const char* name)
{
    return word.size() == std::strlen(name) && strncasecmp(word.data(), name, word.size()) == 0;
}

// RFC 3414 appendix A.2.1: the passphrase repeated to fill one megabyte.
constexpr size_t kPassphraseStretch = 1048576;

}  // namespace

bool ParseAuthProtocol(std::string_view name, AuthProtocol& protocol)
{
    for (const AuthEntry& entry : kAuthTable) {
        if (SameWord(name, entry.name)) {
            protocol = entry.protocol;
            return true;
        }
    }
    return false;
}

bool ParsePrivProtocol(std::string_view name, PrivProtocol& protocol)
{
    for (const PrivEntry& entry : kPrivTable) {
        if (SameWord(name, entry.name)) {
            protocol = entry.protocol;
            return true;
        }
    }
    return false;
}

HashKind HashOf(AuthProtocol protocol)
{
    const AuthEntry* entry = FindAuth(protocol);
    return entry != nullptr ? entry->hash : HashKind::Md5;
}

size_t MacSize(AuthProtocol protocol)
{
    const AuthEntry* entry = FindAuth(protocol);
    return entry != nullptr ? entry->macSize : 0;
}

size_t PrivKeySize(PrivProtocol protocol)
{
    const PrivEntry* entry = FindPriv(protocol);
    return entry != nullptr ? entry->keySize : 0;
}

SecretKey& SecretKey::operator=(SecretKey&& other) noexcept
{
    if (this != &other) {
        Wipe();
        bytes = std::move(other.bytes);
    }
    return *this;
}

SecretKey::~SecretKey()
{
    Wipe();
}

void SecretKey::Wipe()
{
    WipeBytes(bytes.data(), bytes.size());
    bytes.clear();
}

void WipeString(std::string& text)
{
    WipeBytes(text.data(), text.capacity());
    text.clear();
}

bool LocaliseKey(HashKind hash, const std::string& passphrase, const uint8_t* engineId,
                 size_t engineIdSize, SecretKey& key)
{
    if (passphrase.size() < kMinPassphraseSize) {
        return false;
    }
    const size_t digestSize = HashDigestSize(hash);
    uint8_t ku[kMaxDigestSize];
    bool ok = false;
    {
        HashStream stretch(hash);
        const auto* text = reinterpret_cast<const uint8_t*>(passphrase.data());
        for (size_t done = 0; done < kPassphraseStretch;) {
            size_t piece = std::min(passphrase.size(), kPassphraseStretch - done);
            stretch.Update(text, piece);
            done += piece;
        }
        ok = stretch.Finish(ku);
    }
    if (ok) {
        HashStream localise(hash);
        localise.Update(ku, digestSize);
        localise.Update(engineId, engineIdSize);
        localise.Update(ku, digestSize);
        key.Wipe();
        key.bytes.resize(digestSize);
        ok = localise.Finish(key.bytes.data());
    }
    WipeBytes(ku, sizeof ku);
    if (!ok) {
        key.Wipe();
    }
    return ok;
}

bool MakePrivKey(HashKind hash, size_t needed, const std::string& passphrase,
                 const uint8_t* engineId, size_t engineIdSize, SecretKey& key)
{
    if (needed == 0) {
        return false;
    }
    std::vector<uint8_t>& bytes = key.bytes;
    // Reserved up front so that growing never leaves a copy of the key behind.
    key.Wipe();
    bytes.reserve(needed + kMaxDigestSize);
    if (!LocaliseKey(hash, passphrase, engineId, engineIdSize, key)) {
        return false;
    }
    while (bytes.size() < needed) {
        uint8_t more[kMaxDigestSize];
        HashStream extend(hash);
        extend.Update(bytes.data(), bytes.size());
        if (!extend.Finish(more)) {
            key.Wipe();
            return false;
        }
        bytes.insert(bytes.end(), more, more + HashDigestSize(hash));
        WipeBytes(more, sizeof more);
    }
    WipeBytes(bytes.data() + needed, bytes.size() - needed);
    bytes.resize(needed);
    return true;
}
