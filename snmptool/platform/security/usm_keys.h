// The protocols of the user-based security model and the keys made from a
// user's passphrases: RFC 3414 section 2.6 (password to key, localisation),
// RFC 7860 (the same with SHA-2), and the extension of a localised key that
// AES-192 and AES-256 need when the hash gives fewer bytes than the cipher.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "security/usm_crypto.h"

enum class AuthProtocol { None, Md5, Sha1, Sha224, Sha256, Sha384, Sha512 };
enum class PrivProtocol { None, Des, Aes128, Aes192, Aes256 };

// Names as the common command-line tools spell them ("MD5", "SHA", "SHA-224",
// ... "DES", "AES", "AES-192", "AES-256"), in either case. False for others.
bool ParseAuthProtocol(std::string_view name, AuthProtocol& protocol);
bool ParsePrivProtocol(std::string_view name, PrivProtocol& protocol);

HashKind HashOf(AuthProtocol protocol);
// The bytes of msgAuthenticationParameters: 12 for HMAC-MD5-96 and HMAC-SHA-96
// (RFC 3414 sections 6 and 7), 16/24/32/48 for SHA-224..SHA-512 (RFC 7860
// section 4.1); 0 without authentication.
size_t MacSize(AuthProtocol protocol);
// The key bytes a privacy protocol uses: 16 for DES (key and pre-IV, RFC 3414
// section 8.1.1.1), 16/24/32 for AES.
size_t PrivKeySize(PrivProtocol protocol);

// RFC 3414 section 2.6 asks for at least 8 characters.
constexpr size_t kMinPassphraseSize = 8;

// A key that wipes itself when it goes.
struct SecretKey {
    std::vector<uint8_t> bytes;
    SecretKey() = default;
    SecretKey(const SecretKey&) = delete;
    SecretKey& operator=(const SecretKey&) = delete;
    SecretKey(SecretKey&& other) noexcept = default;
    SecretKey& operator=(SecretKey&& other) noexcept;
    ~SecretKey();
    void Wipe();
};

// Wipes a string's whole buffer (short strings live inside the object) and
// empties it.
void WipeString(std::string& text);

// The localised key Kul (RFC 3414 section 2.6 and appendix A.2): the passphrase
// repeated over one megabyte and hashed gives Ku; Kul = H(Ku | engineID | Ku).
// False for a passphrase under kMinPassphraseSize characters.
bool LocaliseKey(HashKind hash, const std::string& passphrase, const uint8_t* engineId,
                 size_t engineIdSize, SecretKey& key);

// The privacy key: the localised key cut to `needed` bytes (PrivKeySize), first lengthened
// when the hash is too short (MD5 or SHA-1 with AES-192, for example) by
// appending H(key so far) until it is long enough, as the widely deployed
// agents do for AES-192 and AES-256.
bool MakePrivKey(HashKind hash, size_t needed, const std::string& passphrase,
                 const uint8_t* engineId, size_t engineIdSize, SecretKey& key);
