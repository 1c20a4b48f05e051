// The security model's cryptography against the vectors its RFCs and
// standards publish, and its message coding on a captured exchange.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "security/usm_engine.h"

namespace {

std::vector<uint8_t> Hex(const std::string& text)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

// RFC 3414 appendix A.3: "maplesyrup" localised to engine ID 00..02.
TEST(UsmVectors, KeyLocalisation)
{
    const std::vector<uint8_t> engine = Hex("000000000000000000000002");
    struct Case {
        HashKind hash;
        const char* kul;
    } cases[] = {
        {HashKind::Md5, "526f5eed9fcce26f8964c2930787d82b"},
        {HashKind::Sha1, "6695febc9288e36282235fc7151f128497b38f3f"},
    };
    for (const Case& c : cases) {
        SecretKey key;
        ASSERT_TRUE(LocaliseKey(c.hash, "maplesyrup", engine.data(), engine.size(), key));
        EXPECT_EQ(key.bytes, Hex(c.kul));
    }
    SecretKey key;
    EXPECT_FALSE(LocaliseKey(HashKind::Sha1, "maplesy", engine.data(), engine.size(), key));
}

// The privacy key: cut from the localised key, lengthened by H(key so far).
TEST(UsmVectors, PrivacyKeyIsCutOrExtended)
{
    const std::vector<uint8_t> engine = Hex("000000000000000000000002");
    const std::vector<uint8_t> kul = Hex("526f5eed9fcce26f8964c2930787d82b");
    uint8_t extension[16];
    HashStream hash(HashKind::Md5);
    hash.Update(kul.data(), kul.size());
    ASSERT_TRUE(hash.Finish(extension));
    SecretKey key;
    ASSERT_TRUE(MakePrivKey(HashKind::Md5, PrivProtocol::Aes256, "maplesyrup", engine.data(),
                            engine.size(), key));
    std::vector<uint8_t> expected = kul;
    expected.insert(expected.end(), extension, extension + 16);
    EXPECT_EQ(key.bytes, expected);
    ASSERT_TRUE(MakePrivKey(HashKind::Sha1, PrivProtocol::Aes128, "maplesyrup", engine.data(),
                            engine.size(), key));
    EXPECT_EQ(key.bytes, Hex("6695febc9288e36282235fc7151f1284"));
}

// RFC 2202 and RFC 4231 test case 2 (key "Jefe").
TEST(UsmVectors, Hmac)
{
    const std::vector<uint8_t> key = Bytes("Jefe");
    const std::vector<uint8_t> data = Bytes("what do ya want for nothing?");
    struct Case {
        HashKind hash;
        const char* mac;
    } cases[] = {
        {HashKind::Md5, "750c783e6ab0b503eaa86e310a5db738"},
        {HashKind::Sha1, "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {HashKind::Sha224, "a30e01098bc6dbbf45690f3a7e9e6d0f8bbea2a39e6148008fd05e44"},
        {HashKind::Sha256, "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        {HashKind::Sha384, "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e"
                           "8e2240ca5e69e2c78b3239ecfab21649"},
        {HashKind::Sha512, "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea250554"
                           "9758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> mac(HashDigestSize(c.hash));
        ASSERT_TRUE(
            ComputeHmac(c.hash, key.data(), key.size(), data.data(), data.size(), mac.data()));
        EXPECT_EQ(mac, Hex(c.mac));
    }
}

// NIST SP 800-38A F.3.13, F.3.15, F.3.17 (CFB128, first two blocks) and
// FIPS 81 appendix B (CBC); each decrypted back.
TEST(UsmVectors, Ciphers)
{
    const std::vector<uint8_t> iv = Hex("000102030405060708090a0b0c0d0e0f");
    const std::vector<uint8_t> plain =
        Hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51");
    struct Case {
        const char* key;
        const char* cipher;
    } cases[] = {
        {"2b7e151628aed2a6abf7158809cf4f3c",
         "3b3fd92eb72dad20333449f8e83cfb4ac8a64537a0b3a93fcde3cdad9f1ce58b"},
        {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
         "cdc80d6fddf18cab34c25909c99a417467ce7f7f81173621961a2b70171d3d7a"},
        {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
         "dc7e84bfda79164b7ecd8486985d386039ffed143b28b1c832113c6331e5407b"},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> key = Hex(c.key);
        std::vector<uint8_t> out(plain.size());
        ASSERT_TRUE(AesCfb128(true, key.data(), key.size(), iv.data(), plain.data(), plain.size(),
                              out.data()));
        EXPECT_EQ(out, Hex(c.cipher)) << key.size() * 8;
        ASSERT_TRUE(AesCfb128(false, key.data(), key.size(), iv.data(), out.data(), out.size(),
                              out.data()));
        EXPECT_EQ(out, plain);
    }
    const std::vector<uint8_t> desKey = Hex("0123456789abcdef");
    const std::vector<uint8_t> desIv = Hex("1234567890abcdef");
    const std::vector<uint8_t> text = Bytes("Now is the time for all ");
    std::vector<uint8_t> out(text.size());
    ASSERT_TRUE(DesCbc(true, desKey.data(), desIv.data(), text.data(), text.size(), out.data()));
    EXPECT_EQ(out, Hex("e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6"));
    ASSERT_TRUE(DesCbc(false, desKey.data(), desIv.data(), out.data(), out.size(), out.data()));
    EXPECT_EQ(out, text);
    EXPECT_FALSE(DesCbc(true, desKey.data(), desIv.data(), text.data(), 7, out.data()));
}

}  // namespace
