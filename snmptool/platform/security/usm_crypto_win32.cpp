// The cryptography of usm_crypto.h on Windows' CNG (bcrypt). CNG has no
// SHA-224: its digest does not start, and SHA-224 users fail cleanly.
#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cwchar>
#include <vector>

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

// One pass of a block cipher in `mode` over whole blocks of `block` bytes;
// CFB is a stream, so a last partial block is run padded and cut.
bool RunCipher(const wchar_t* name, bool cfb, ULONG block, bool encrypt, const uint8_t* key,
               size_t keySize, const uint8_t* iv, const uint8_t* in, size_t size, uint8_t* out)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_KEY_HANDLE handle = nullptr;
    std::vector<uint8_t> buffer((size + block - 1) / block * block, 0);
    std::copy(in, in + size, buffer.begin());
    std::vector<uint8_t> chain(iv, iv + block);
    ULONG done = 0;
    const wchar_t* mode = cfb ? BCRYPT_CHAIN_MODE_CFB : BCRYPT_CHAIN_MODE_CBC;
    bool ok =
        Succeeded(BCryptOpenAlgorithmProvider(&algorithm, name, nullptr, 0)) &&
        Succeeded(BCryptSetProperty(algorithm, BCRYPT_CHAINING_MODE,
                                    reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(mode)),
                                    static_cast<ULONG>((wcslen(mode) + 1) * sizeof(wchar_t)), 0)) &&
        Succeeded(BCryptGenerateSymmetricKey(algorithm, &handle, nullptr, 0,
                                             const_cast<uint8_t*>(key), static_cast<ULONG>(keySize),
                                             0)) &&
        // CNG's CFB feeds back one byte unless told the block: CFB128 here.
        (!cfb || Succeeded(BCryptSetProperty(handle, BCRYPT_MESSAGE_BLOCK_LENGTH,
                                             reinterpret_cast<PUCHAR>(&block), sizeof block, 0)));
    if (ok) {
        const ULONG length = static_cast<ULONG>(buffer.size());
        ok = Succeeded(encrypt ? BCryptEncrypt(handle, buffer.data(), length, nullptr, chain.data(),
                                               block, buffer.data(), length, &done, 0)
                               : BCryptDecrypt(handle, buffer.data(), length, nullptr, chain.data(),
                                               block, buffer.data(), length, &done, 0));
    }
    if (ok) {
        std::copy(buffer.begin(), buffer.begin() + static_cast<long>(size), out);
    }
    SecureZeroMemory(buffer.data(), buffer.size());
    if (handle != nullptr) {
        BCryptDestroyKey(handle);
    }
    if (algorithm != nullptr) {
        BCryptCloseAlgorithmProvider(algorithm, 0);
    }
    return ok;
}

}  // namespace

size_t HashDigestSize(HashKind kind)
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

HashStream::HashStream(HashKind kind) : context_(new CngHash), ok_(false)
{
    ok_ = static_cast<CngHash*>(context_)->Open(kind, nullptr, 0, false);
}

HashStream::~HashStream()
{
    delete static_cast<CngHash*>(context_);
}

bool HashStream::Ok() const
{
    return ok_;
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

bool AesCfb128(bool encrypt, const uint8_t* key, size_t keySize, const uint8_t* iv,
               const uint8_t* in, size_t size, uint8_t* out)
{
    if (keySize != 16 && keySize != 24 && keySize != 32) {
        return false;
    }
    return RunCipher(BCRYPT_AES_ALGORITHM, true, 16, encrypt, key, keySize, iv, in, size, out);
}

bool DesCbc(bool encrypt, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t size,
            uint8_t* out)
{
    if (size % 8 != 0) {
        return false;
    }
    return RunCipher(BCRYPT_DES_ALGORITHM, false, 8, encrypt, key, 8, iv, in, size, out);
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
