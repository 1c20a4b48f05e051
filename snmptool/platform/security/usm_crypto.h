// The cryptography the user-based security model needs, from the system's
// vetted library (OpenSSL's libcrypto here). Nothing of it is written by us:
// this header only names the few operations, so that the rest of the group
// never sees the library.
#pragma once

#include <cstddef>
#include <cstdint>

// Hash functions of the authentication protocols (RFC 3414, RFC 7860).
enum class HashKind { Md5, Sha1, Sha224, Sha256, Sha384, Sha512 };

// The largest digest any of them gives (SHA-512).
constexpr size_t kMaxDigestSize = 64;

constexpr size_t HashDigestSize(HashKind kind)
{
    switch (kind) {
    case HashKind::Md5:
        return 16;
    case HashKind::Sha1:
        return 20;
    case HashKind::Sha224:
        return 28;
    case HashKind::Sha256:
        return 32;
    case HashKind::Sha384:
        return 48;
    case HashKind::Sha512:
        return 64;
    }
    return 0;
}

// An incremental digest, for inputs too long to hold at once (key
// localisation hashes a megabyte).
class HashStream {
public:
    explicit HashStream(HashKind kind);
    ~HashStream();
    HashStream(const HashStream&) = delete;
    HashStream& operator=(const HashStream&) = delete;

    void Update(const uint8_t* data, size_t size);
    // Writes HashDigestSize bytes to `digest`; false when any step failed.
    bool Finish(uint8_t* digest);

private:
    void* context_;
    bool ok_;
};

// HMAC of `data` under `key`: writes HashDigestSize(kind) bytes to `mac`.
bool ComputeHmac(HashKind kind, const uint8_t* key, size_t keySize, const uint8_t* data,
                 size_t size, uint8_t* mac);

// AES in 128-bit cipher feedback mode (RFC 3826 section 3.1.3) with a 16-, 24-
// or 32-byte key and a 16-byte IV. `out` may be `in`; sizes are equal.
bool AesCfb128(bool encrypt, const uint8_t* key, size_t keySize, const uint8_t* iv,
               const uint8_t* in, size_t size, uint8_t* out);

// DES in CBC mode (RFC 3414 section 8.1.1) with an 8-byte key and IV; `size`
// must be a multiple of 8. `out` may be `in`.
bool DesCbc(bool encrypt, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t size,
            uint8_t* out);

// Bytes from the library's cryptographically strong generator (salts).
bool RandomBytes(uint8_t* out, size_t size);

// Wipes memory in a way the compiler does not drop as a dead store.
void WipeBytes(void* data, size_t size);

// Compares in time that does not depend on where the first difference lies.
bool SameBytes(const uint8_t* a, const uint8_t* b, size_t size);
