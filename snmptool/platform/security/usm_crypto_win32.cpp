// The cryptography of usm_crypto.h on Windows' CNG (bcrypt). CNG has no
// SHA-224: its digest does not start, and SHA-224 users fail cleanly.
#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "security/usm_crypto.h"

namespace {

const wchar_t* AlgorithmOf(HashKind kind)
{
    switch (kind) {
    case HashKind::Md5:
        return BCRYPT_MD5_ALGORITHM;
    case HashKind::Sha1:
        return BCRYPT_SHA1_ALGORITHM;
    case HashKind::Sha256:
        return BCRYPT_SHA256_ALGORITHM;
    case HashKind::Sha384:
        return BCRYPT_SHA384_ALGORITHM;
    case HashKind::Sha512:
        return BCRYPT_SHA512_ALGORITHM;
    case HashKind::Sha224:
        break;
    }
    return nullptr;
}

bool Succeeded(NTSTATUS status)
{
    return status >= 0;
}

// A digest or HMAC: the provider and the hash object, released together.
struct CngHash {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;

    bool Open(HashKind kind, const uint8_t* key, size_t keySize, bool hmac)
    {
        const wchar_t* name = AlgorithmOf(kind);
        return name != nullptr &&
               Succeeded(BCryptOpenAlgorithmProvider(&algorithm, name, nullptr,
                                                     hmac ? BCRYPT_ALG_HANDLE_HMAC_FLAG : 0)) &&
               Succeeded(BCryptCreateHash(algorithm, &hash, nullptr, 0, const_cast<uint8_t*>(key),
                                          static_cast<ULONG>(keySize), 0));
    }
    ~CngHash()
    {
        if (hash != nullptr) {
            BCryptDestroyHash(hash);
        }
        if (algorithm != nullptr) {
            BCryptCloseAlgorithmProvider(algorithm, 0);
        }
    }
};

// A symmetric key in one chaining mode, with its provider, released together.
struct CngKey {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_KEY_HANDLE key = nullptr;

    bool Open(const wchar_t* name, const wchar_t* mode, const uint8_t* secret, size_t size)
    {
        Close();
        return Succeeded(BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, 0)) &&
               Succeeded(BCryptSetProperty(algorithm, BCRYPT_CHAINING_MODE,
                                           reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(mode)),
                                           static_cast<ULONG>((wcslen(mode) + 1) * sizeof(wchar_t)),
                                           0)) &&
               Succeeded(BCryptGenerateSymmetricKey(algorithm, &key, nullptr, 0,
                                                    const_cast<uint8_t*>(secret),
                                                    static_cast<ULONG>(size), 0));
    }
    void Close()
    {
        if (key != nullptr) {
            BCryptDestroyKey(key);
            key = nullptr;
        }
        if (algorithm != nullptr) {
            BCryptCloseAlgorithmProvider(algorithm, 0);
            algorithm = nullptr;
        }
    }
    ~CngKey()
    {
        Close();
    }
};

}  // namespace

HashStream::HashStream(HashKind kind) : context_(new CngHash), ok_(false)
{
    ok_ = static_cast<CngHash*>(context_)->Open(kind, nullptr, 0, false);
}

HashStream::~HashStream()
{
    delete static_cast<CngHash*>(context_);
}

void HashStream::Update(const uint8_t* data, size_t size)
{
    if (ok_) {
        ok_ = Succeeded(BCryptHashData(static_cast<CngHash*>(context_)->hash,
                                       const_cast<uint8_t*>(data), static_cast<ULONG>(size), 0));
    }
}

bool HashStream::Finish(uint8_t* digest)
{
    CngHash* context = static_cast<CngHash*>(context_);
    ULONG size = 0;
    ULONG got = 0;
    return ok_ &&
           Succeeded(BCryptGetProperty(context->algorithm, BCRYPT_HASH_LENGTH,
                                       reinterpret_cast<PUCHAR>(&size), sizeof size, &got, 0)) &&
           Succeeded(BCryptFinishHash(context->hash, digest, size, 0));
}

bool ComputeHmac(HashKind kind, const uint8_t* key, size_t keySize, const uint8_t* data,
                 size_t size, uint8_t* mac)
{
    CngHash hmac;
    return hmac.Open(kind, key, keySize, true) &&
           Succeeded(BCryptHashData(hmac.hash, const_cast<uint8_t*>(data), static_cast<ULONG>(size),
                                    0)) &&
           Succeeded(BCryptFinishHash(hmac.hash, mac, static_cast<ULONG>(HashDigestSize(kind)), 0));
}

// CFB128 is built here on AES's single block (ECB): wine's CNG feeds back one
// byte only and refuses a 16-byte message block length, and one path for every
// system is the path the tests prove. Each step encrypts the feedback register
// and XORs the result in; the ciphertext becomes the next register.
bool AesCfb128(bool encrypt, const uint8_t* key, size_t keySize, const uint8_t* iv,
               const uint8_t* in, size_t size, uint8_t* out)
{
    constexpr size_t kBlock = 16;
    CngKey aes;
    if ((keySize != 16 && keySize != 24 && keySize != 32) ||
        !aes.Open(BCRYPT_AES_ALGORITHM, BCRYPT_CHAIN_MODE_ECB, key, keySize)) {
        return false;
    }
    uint8_t feedback[kBlock];
    uint8_t stream[kBlock];
    std::copy(iv, iv + kBlock, feedback);
    bool ok = true;
    for (size_t at = 0; ok && at < size; at += kBlock) {
        ULONG done = 0;
        ok = Succeeded(BCryptEncrypt(aes.key, feedback, kBlock, nullptr, nullptr, 0, stream, kBlock,
                                     &done, 0)) &&
             done == kBlock;
        for (size_t i = 0; ok && i < kBlock && at + i < size; ++i) {
            const uint8_t given = in[at + i];  // read first: `out` may be `in`
            out[at + i] = static_cast<uint8_t>(given ^ stream[i]);
            feedback[i] = encrypt ? out[at + i] : given;
        }
    }
    SecureZeroMemory(stream, sizeof stream);
    return ok;
}

// Single DES where the provider has it (Windows); wine's CNG has only triple
// DES, which with the key given three times is the same cipher.
bool DesCbc(bool encrypt, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t size,
            uint8_t* out)
{
    if (size % 8 != 0) {
        return false;
    }
    uint8_t tripled[24];
    for (size_t i = 0; i < sizeof tripled; ++i) {
        tripled[i] = key[i % 8];
    }
    CngKey des;
    bool ok = des.Open(BCRYPT_DES_ALGORITHM, BCRYPT_CHAIN_MODE_CBC, key, 8) ||
              des.Open(BCRYPT_3DES_ALGORITHM, BCRYPT_CHAIN_MODE_CBC, tripled, sizeof tripled);
    SecureZeroMemory(tripled, sizeof tripled);
    uint8_t chain[8];
    std::copy(iv, iv + 8, chain);
    if (out != in) {
        std::memmove(out, in, size);  // CNG works in place
    }
    const ULONG length = static_cast<ULONG>(size);
    ULONG done = 0;
    ok = ok &&
         Succeeded(
             encrypt
                 ? BCryptEncrypt(des.key, out, length, nullptr, chain, 8, out, length, &done, 0)
                 : BCryptDecrypt(des.key, out, length, nullptr, chain, 8, out, length, &done, 0)) &&
         done == length;
    return ok;
}

bool RandomBytes(uint8_t* out, size_t size)
{
    return Succeeded(
        BCryptGenRandom(nullptr, out, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

void WipeBytes(void* data, size_t size)
{
    SecureZeroMemory(data, size);
}

bool SameBytes(const uint8_t* a, const uint8_t* b, size_t size)
{
    uint8_t difference = 0;
    for (size_t i = 0; i < size; ++i) {
        difference |= static_cast<uint8_t>(a[i] ^ b[i]);
    }
    return difference == 0;
}
