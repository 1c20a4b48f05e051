// The cryptography of usm_crypto.h on OpenSSL's libcrypto (3.x EVP interface).
//
// libcrypto is opened on first use rather than linked: loading and relocating
// it costs every run more than all the rest of a GET, and only SNMPv3 needs it.
// The function types still come from OpenSSL's own headers.
#include "security/usm_crypto.h"

#include <dlfcn.h>
#include <string.h>  // explicit_bzero
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/opensslv.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <climits>
#include <mutex>

namespace {

// Every function used, resolved by name when the library is opened.
// clang-format off
#define USM_CRYPTO_FUNCTIONS(F)                                                        \
    F(EVP_md5) F(EVP_sha1) F(EVP_sha224) F(EVP_sha256) F(EVP_sha384) F(EVP_sha512)     \
    F(EVP_MD_CTX_new) F(EVP_MD_CTX_free) F(EVP_DigestInit_ex) F(EVP_DigestUpdate)      \
    F(EVP_DigestFinal_ex) F(HMAC)                                                      \
    F(EVP_aes_128_cfb128) F(EVP_aes_192_cfb128) F(EVP_aes_256_cfb128)                  \
    F(EVP_CIPHER_CTX_new) F(EVP_CIPHER_CTX_free) F(EVP_CIPHER_CTX_set_padding)         \
    F(EVP_CipherInit_ex2) F(EVP_CipherUpdate) F(EVP_CipherFinal_ex)                    \
    F(EVP_CIPHER_fetch) F(EVP_CIPHER_free) F(OSSL_LIB_CTX_new) F(OSSL_PROVIDER_load)   \
    F(RAND_bytes) F(CRYPTO_memcmp)
// clang-format on

struct CryptoLibrary {
#define USM_CRYPTO_POINTER(name) decltype(&::name) name = nullptr;
    USM_CRYPTO_FUNCTIONS(USM_CRYPTO_POINTER)
#undef USM_CRYPTO_POINTER
};

#define USM_TEXT(x) #x
#define USM_SONAME(major) "libcrypto.so." USM_TEXT(major)

// The library's functions, or null when it cannot be opened: then every
// operation fails, and the session reports the library's failure.
const CryptoLibrary* Library()
{
    static const CryptoLibrary* library = []() -> const CryptoLibrary* {
        void* handle = dlopen(USM_SONAME(OPENSSL_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            return nullptr;
        }
        static CryptoLibrary loaded;
        bool complete = true;
#define USM_CRYPTO_RESOLVE(name)                                                                   \
    loaded.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));                       \
    complete = complete && loaded.name != nullptr;
        USM_CRYPTO_FUNCTIONS(USM_CRYPTO_RESOLVE)
#undef USM_CRYPTO_RESOLVE
        return complete ? &loaded : nullptr;
    }();
    return library;
}

const EVP_MD* DigestOf(const CryptoLibrary& library, HashKind kind)
{
    switch (kind) {
    case HashKind::Md5:
        return library.EVP_md5();
    case HashKind::Sha1:
        return library.EVP_sha1();
    case HashKind::Sha224:
        return library.EVP_sha224();
    case HashKind::Sha256:
        return library.EVP_sha256();
    case HashKind::Sha384:
        return library.EVP_sha384();
    case HashKind::Sha512:
        return library.EVP_sha512();
    }
    return nullptr;
}

// Single DES lives in OpenSSL 3's legacy provider. It is loaded into a library
// context of our own, so the process-wide defaults stay as they are.
OSSL_LIB_CTX* LegacyContext(const CryptoLibrary& library)
{
    static std::once_flag once;
    static OSSL_LIB_CTX* context = nullptr;
    std::call_once(once, [&library] {
        OSSL_LIB_CTX* made = library.OSSL_LIB_CTX_new();
        if (made != nullptr && library.OSSL_PROVIDER_load(made, "default") != nullptr &&
            library.OSSL_PROVIDER_load(made, "legacy") != nullptr) {
            context = made;
        }
    });
    return context;
}

// One pass of a cipher without padding over [in, in + size).
bool RunCipher(const CryptoLibrary& library, const EVP_CIPHER* cipher, bool encrypt,
               const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t size, uint8_t* out)
{
    if (cipher == nullptr || size > static_cast<size_t>(INT_MAX)) {
        return false;
    }
    EVP_CIPHER_CTX* context = library.EVP_CIPHER_CTX_new();
    if (context == nullptr) {
        return false;
    }
    int written = 0;
    int last = 0;
    bool ok = library.EVP_CipherInit_ex2(context, cipher, key, iv, encrypt ? 1 : 0, nullptr) == 1 &&
              library.EVP_CIPHER_CTX_set_padding(context, 0) == 1 &&
              library.EVP_CipherUpdate(context, out, &written, in, static_cast<int>(size)) == 1 &&
              library.EVP_CipherFinal_ex(context, out + written, &last) == 1 &&
              static_cast<size_t>(written + last) == size;
    library.EVP_CIPHER_CTX_free(context);  // wipes the key schedule
    return ok;
}

}  // namespace

HashStream::HashStream(HashKind kind) : context_(nullptr), ok_(false)
{
    const CryptoLibrary* library = Library();
    if (library != nullptr) {
        EVP_MD_CTX* context = library->EVP_MD_CTX_new();
        context_ = context;
        ok_ = context != nullptr &&
              library->EVP_DigestInit_ex(context, DigestOf(*library, kind), nullptr) == 1;
    }
}

HashStream::~HashStream()
{
    if (context_ != nullptr) {
        Library()->EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context_));
    }
}

void HashStream::Update(const uint8_t* data, size_t size)
{
    if (ok_) {
        ok_ = Library()->EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(context_), data, size) == 1;
    }
}

bool HashStream::Finish(uint8_t* digest)
{
    unsigned int size = 0;
    return ok_ &&
           Library()->EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(context_), digest, &size) == 1;
}

bool ComputeHmac(HashKind kind, const uint8_t* key, size_t keySize, const uint8_t* data,
                 size_t size, uint8_t* mac)
{
    const CryptoLibrary* library = Library();
    if (library == nullptr || keySize > static_cast<size_t>(INT_MAX)) {
        return false;
    }
    unsigned int macSize = 0;
    return library->HMAC(DigestOf(*library, kind), key, static_cast<int>(keySize), data, size, mac,
                         &macSize) != nullptr;
}

bool AesCfb128(bool encrypt, const uint8_t* key, size_t keySize, const uint8_t* iv,
               const uint8_t* in, size_t size, uint8_t* out)
{
    const CryptoLibrary* library = Library();
    if (library == nullptr) {
        return false;
    }
    const EVP_CIPHER* cipher = keySize == 16   ? library->EVP_aes_128_cfb128()
                               : keySize == 24 ? library->EVP_aes_192_cfb128()
                               : keySize == 32 ? library->EVP_aes_256_cfb128()
                                               : nullptr;
    return RunCipher(*library, cipher, encrypt, key, iv, in, size, out);
}

bool DesCbc(bool encrypt, const uint8_t* key, const uint8_t* iv, const uint8_t* in, size_t size,
            uint8_t* out)
{
    const CryptoLibrary* library = Library();
    OSSL_LIB_CTX* context = library != nullptr ? LegacyContext(*library) : nullptr;
    if (context == nullptr || size % 8 != 0) {
        return false;
    }
    EVP_CIPHER* cipher = library->EVP_CIPHER_fetch(context, "DES-CBC", nullptr);
    bool ok = RunCipher(*library, cipher, encrypt, key, iv, in, size, out);
    library->EVP_CIPHER_free(cipher);
    return ok;
}

bool RandomBytes(uint8_t* out, size_t size)
{
    const CryptoLibrary* library = Library();
    return library != nullptr && size <= static_cast<size_t>(INT_MAX) &&
           library->RAND_bytes(out, static_cast<int>(size)) == 1;
}

void WipeBytes(void* data, size_t size)
{
    // The C library's wipe: no reason to open libcrypto only to forget a secret.
    // An empty secret may have no storage at all, which the call does not take.
    if (size != 0) {
        explicit_bzero(data, size);
    }
}

bool SameBytes(const uint8_t* a, const uint8_t* b, size_t size)
{
    const CryptoLibrary* library = Library();
    return library != nullptr && library->CRYPTO_memcmp(a, b, size) == 0;
}
