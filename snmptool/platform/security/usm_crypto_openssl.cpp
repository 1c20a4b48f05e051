// The cryptography of usm_crypto.h on OpenSSL's libcrypto (3.x EVP interface).
#include "security/usm_crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <climits>
#include <mutex>

namespace {

const EVP_MD* DigestOf(HashKind kind)
{
    switch (kind) {
    case HashKind::Md5:
        return EVP_md5();
    case HashKind::Sha1:
        return EVP_sha1();
    case HashKind::Sha224:
        return EVP_sha224();
    case HashKind::Sha256:
        return EVP_sha256();
    case HashKind::Sha384:
        return EVP_sha384();
    case HashKind::Sha512:
        return EVP_sha512();
    }
    return nullptr;
}

// Single DES lives in OpenSSL 3's legacy provider. It is loaded into a library
// context of our own, so the process-wide defaults stay as they are.
OSSL_LIB_CTX* LegacyContext()
{
    static std::once_flag once;
    static OSSL_LIB_CTX* context = nullptr;
    std::call_once(once, [] {
        OSSL_LIB_CTX* made = OSSL_LIB_CTX_new();
        if (made != nullptr && OSSL_PROVIDER_load(made, "default") != nullptr &&
            OSSL_PROVIDER_load(made, "legacy") != nullptr) {
            context = made;
        }
    });
    return context;
}

// One pass of a cipher without padding over [in, in + size).
bool RunCipher(const EVP_CIPHER* cipher, bool encrypt, const uint8_t* key, const uint8_t* iv,
               const uint8_t* in, size_t size, uint8_t* out)
{
    if (cipher == nullptr || size > static_cast<size_t>(INT_MAX)) {
        return false;
    }
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    if (context == nullptr) {
        return false;
    }
    int written = 0;
    int last = 0;
    bool ok = EVP_CipherInit_ex2(context, cipher, key, iv, encrypt ? 1 : 0, nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(context, 0) == 1 &&
              EVP_CipherUpdate(context, out, &written, in, static_cast<int>(size)) == 1 &&
              EVP_CipherFinal_ex(context, out + written, &last) == 1 &&
              static_cast<size_t>(written + last) == size;
    EVP_CIPHER_CTX_free(context);  // wipes the key schedule
    return ok;
}

}  // namespace

size_t HashDigestSize(HashKind kind)
{
    return static_cast<size_t>(EVP_MD_get_size(DigestOf(kind)));
}

HashStream::HashStream(HashKind kind) : context_(EVP_MD_CTX_new()), ok_(false)
{
    EVP_MD_CTX* context = static_cast<EVP_MD_CTX*>(context_);
    ok_ = context != nullptr && EVP_DigestInit_ex(context, DigestOf(kind), nullptr) == 1;
}

HashStream::~HashStream()
{
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context_));
}

bool HashStream::Ok() const
{
    return ok_;
}

void HashStream::Update(const uint8_t* data, size_t size)
{
    if (ok_) {
        ok_ = EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(context_), data, size) == 1;
    }
}

bool HashStream::Finish(uint8_t* digest)
{
    unsigned int size = 0;
    return ok_ && EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(context_), digest, &size) == 1;
}

bool ComputeHmac(HashKind kind, const uint8_t* key, size_t keySize, const uint8_t* data,
                 size_t size, uint8_t* mac)
{
    if (keySize > static_cast<size_t>(INT_MAX)) {
        return false;
    }
    unsigned int macSize = 0;
    return HMAC(DigestOf(kind), key, static_cast<int>(keySize), data, size, mac, &macSize) !=
           nullptr;
}

bool AesCfb128(bool encrypt, const uint8_t* key, size_t keySize, const uint8_t* iv,
               const uint8_t* in, size_t size, uint8_t* out)
{
    const EVP_CIPHER* cipher = keySize == 16   ? EVP_aes_128_cfb128()
                               : keySize == 24 ? EVP_aes_192_cfb128()
                               : keySize == 32 ? EVP_aes_256_cfb128()
                                               : nullptr;
    return RunCipher(cipher, encrypt, key, iv, in, size, out);
}

bool DesCbc(bool encrypt, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t size,
            uint8_t* out)
{
    OSSL_LIB_CTX* context = LegacyContext();
    if (context == nullptr || size % 8 != 0) {
        return false;
    }
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(context, "DES-CBC", nullptr);
    bool ok = RunCipher(cipher, encrypt, key, iv, in, size, out);
    EVP_CIPHER_free(cipher);
    return ok;
}

bool RandomBytes(uint8_t* out, size_t size)
{
    return size <= static_cast<size_t>(INT_MAX) && RAND_bytes(out, static_cast<int>(size)) == 1;
}

void WipeBytes(void* data, size_t size)
{
    OPENSSL_cleanse(data, size);
}

bool SameBytes(const uint8_t* a, const uint8_t* b, size_t size)
{
    return CRYPTO_memcmp(a, b, size) == 0;
}
