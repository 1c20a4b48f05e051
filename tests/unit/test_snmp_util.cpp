// The utility routines: zero-filled growth, deep copies that own their own
// storage, comparison over n sub-identifiers, and complete release. Leaks show
// up in the sanitizer build.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "snmp_api.h"

namespace {

AsnObjectIdentifier MakeOid(std::vector<uint32_t> ids)
{
    AsnObjectIdentifier oid = {static_cast<uint32_t>(ids.size()), nullptr};
    oid.ids = static_cast<uint32_t*>(SnmpUtilMemAlloc(ids.size() * sizeof(uint32_t)));
    std::memcpy(oid.ids, ids.data(), ids.size() * sizeof(uint32_t));
    return oid;
}

AsnAny MakeBytes(uint8_t tag, const char* text)
{
    AsnAny value{};
    value.tag = tag;
    value.data.bytes.length = static_cast<uint32_t>(std::strlen(text));
    value.data.bytes.stream = static_cast<uint8_t*>(SnmpUtilMemAlloc(value.data.bytes.length));
    std::memcpy(value.data.bytes.stream, text, value.data.bytes.length);
    value.data.bytes.dynamic = 1;
    return value;
}

// A list with a binding of each kind of storage: bytes, identifier, number.
SnmpVarBindList MakeMixedList()
{
    SnmpVarBindList list = {static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(4 * sizeof(SnmpVarBind))),
                            4};
    list.bindings[0] = {MakeOid({1, 3, 6, 1, 2, 1, 1, 4, 0}), MakeBytes(ASN_OCTETSTRING, "admin")};
    list.bindings[1].name = MakeOid({1, 3, 6, 1, 2, 1, 1, 2, 0});
    list.bindings[1].value.tag = ASN_OBJECTIDENTIFIER;
    list.bindings[1].value.data.object = MakeOid({1, 3, 6, 1, 4, 1, 8072});
    list.bindings[2].name = MakeOid({1, 3, 6, 1, 2, 1, 1, 3, 0});
    list.bindings[2].value.tag = ASN_TIMETICKS;
    list.bindings[2].value.data.unsigned32 = 4242;
    list.bindings[3] = {MakeOid({1, 3, 6, 1, 2, 1, 2, 2, 1, 6, 1}), MakeBytes(0x46, "\x01\x02")};
    return list;
}

TEST(MemAlloc, AllocationIsZeroFilledAndGrowthIsZeroFilled)
{
    auto* block = static_cast<uint8_t*>(SnmpUtilMemAlloc(16));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(block[i], 0);
    }
    std::memset(block, 0xAB, 16);
    block = static_cast<uint8_t*>(SnmpUtilMemReAlloc(block, 4096));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[15], 0xAB);
    for (int i = 16; i < 4096; ++i) {
        ASSERT_EQ(block[i], 0) << "offset " << i;
    }
    // Shrinking keeps the bytes that remain; growing again zero-fills afresh.
    block = static_cast<uint8_t*>(SnmpUtilMemReAlloc(block, 8));
    block = static_cast<uint8_t*>(SnmpUtilMemReAlloc(block, 32));
    EXPECT_EQ(block[7], 0xAB);
    EXPECT_EQ(block[8], 0);
    SnmpUtilMemFree(block);
    SnmpUtilMemFree(nullptr);
}

TEST(MemAlloc, ReAllocOfNothingAllocatesAndHugeSizesFailCleanly)
{
    void* block = SnmpUtilMemReAlloc(nullptr, 3);
    ASSERT_NE(block, nullptr);
    SetLastError(0);
    EXPECT_EQ(SnmpUtilMemReAlloc(block, SIZE_MAX), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    SnmpUtilMemFree(block);  // the old block survived the failed growth
    EXPECT_EQ(SnmpUtilMemAlloc(SIZE_MAX - 8), nullptr);
}

TEST(OidNCmp, ComparesTheFirstNSubIdentifiers)
{
    AsnObjectIdentifier system = MakeOid({1, 3, 6, 1, 2, 1, 1});
    AsnObjectIdentifier descr = MakeOid({1, 3, 6, 1, 2, 1, 1, 1, 0});
    AsnObjectIdentifier interfaces = MakeOid({1, 3, 6, 1, 2, 1, 2, 1, 0});
    EXPECT_EQ(SnmpUtilOidNCmp(&descr, &system, 7), 0);
    EXPECT_LT(SnmpUtilOidNCmp(&system, &interfaces, 7), 0);
    EXPECT_GT(SnmpUtilOidNCmp(&interfaces, &system, 7), 0);
    // Shorter than n: never equal.
    EXPECT_NE(SnmpUtilOidNCmp(&system, &descr, 9), 0);
    EXPECT_NE(SnmpUtilOidNCmp(&system, &system, 8), 0);
    EXPECT_EQ(SnmpUtilOidNCmp(&system, &descr, 0), 0);
    // Unsigned order: 4294967295 sorts after 1.
    AsnObjectIdentifier high = MakeOid({1, 4294967295u});
    AsnObjectIdentifier low = MakeOid({1, 1});
    EXPECT_GT(SnmpUtilOidNCmp(&high, &low, 2), 0);
    for (AsnObjectIdentifier* oid : {&system, &descr, &interfaces, &high, &low}) {
        SnmpUtilOidFree(oid);
        EXPECT_EQ(oid->count, 0u);
        EXPECT_EQ(oid->ids, nullptr);
    }
}

TEST(VarBindListCpy, DeepCopyIsIndependentAndFreesCompletely)
{
    SnmpVarBindList original = MakeMixedList();
    SnmpVarBindList copy = {};
    ASSERT_EQ(SnmpUtilVarBindListCpy(&copy, &original), 1);
    ASSERT_EQ(copy.count, 4u);
    // Change every piece of the original: the copy must not see it.
    original.bindings[0].value.data.bytes.stream[0] = 'X';
    original.bindings[1].value.data.object.ids[6] = 1;
    original.bindings[0].name.ids[0] = 2;
    EXPECT_EQ(std::memcmp(copy.bindings[0].value.data.bytes.stream, "admin", 5), 0);
    EXPECT_EQ(copy.bindings[0].value.data.bytes.dynamic, 1);
    EXPECT_EQ(copy.bindings[1].value.data.object.ids[6], 8072u);
    EXPECT_EQ(copy.bindings[0].name.ids[0], 1u);
    EXPECT_EQ(copy.bindings[2].value.data.unsigned32, 4242u);
    EXPECT_EQ(copy.bindings[3].value.tag, 0x46);
    EXPECT_EQ(copy.bindings[3].value.data.bytes.length, 2u);
    SnmpUtilVarBindListFree(&original);
    SnmpUtilVarBindListFree(&copy);
    EXPECT_EQ(copy.bindings, nullptr);
    EXPECT_EQ(copy.count, 0u);
}

TEST(VarBindListFree, LeavesBytesThatAreNotDynamicAlone)
{
    static uint8_t borrowed[] = {1, 2, 3};
    SnmpVarBindList list = {static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(sizeof(SnmpVarBind))), 1};
    list.bindings[0].name = MakeOid({1, 3});
    list.bindings[0].value.tag = ASN_OCTETSTRING;
    list.bindings[0].value.data.bytes = {borrowed, 3, 0};
    SnmpUtilVarBindListFree(&list);  // must not free the static bytes
    EXPECT_EQ(borrowed[2], 3);
    // A zero-filled binding (just grown, not yet filled) frees nothing of its own.
    list.bindings = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(2 * sizeof(SnmpVarBind)));
    list.count = 2;
    SnmpUtilVarBindListFree(&list);
    SnmpUtilVarBindListFree(nullptr);
}

TEST(LastError, IsPerThreadAndEveryCodeOfTheLayerHasText)
{
    SetLastError(40);
    std::thread other([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(44);
    });
    other.join();
    EXPECT_EQ(GetLastError(), 40u);
    for (uint32_t code :
         {40u, 41u, 43u, 44u, 45u, 1001u, 1002u, 1003u, 1004u, 1005u}) {
        const char* text = LastErrorText(code);
        ASSERT_NE(text, nullptr) << code;
        EXPECT_LT(std::strlen(text), 127u) << code;
        EXPECT_EQ(std::strchr(text, '\n'), nullptr) << code;
    }
    SetLastErrorFromErrno(EADDRINUSE);
    EXPECT_STREQ(LastErrorText(GetLastError()), "Address already in use");
    EXPECT_EQ(LastErrorText(0), nullptr);
    EXPECT_EQ(LastErrorText(999), nullptr);
}

}  // namespace
