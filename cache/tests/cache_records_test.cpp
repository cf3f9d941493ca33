// Records: how they are filed, found, replaced, changed and deleted, seen through the
// component and through the file it writes.
#include <gtest/gtest.h>

#include "cache/cache_records.h"
#include "cache/tests/cache_test_support.h"

using ov::cache::IdKey;

TEST(CacheRecordsTest, IdKeysAreTenCharactersOfTheSignedValue) {
    EXPECT_EQ(IdKey(12345), u"0000012345");
    EXPECT_EQ(IdKey(0), u"0000000000");
    EXPECT_EQ(IdKey(2147483647u), u"2147483647");
    EXPECT_EQ(IdKey(4294967295u), u"00000000-1");
    EXPECT_EQ(IdKey(4294967196u), u"000000-100");
    EXPECT_EQ(IdKey(2147483648u), u"-2147483648");  // eleven characters, no blank to fill
}

TEST(CacheRecordsTest, IdEntriesRefuseCountsBeyondTheirBytes) {
    std::u16string name;
    EXPECT_TRUE(ov::cache::DecodeIdEntry(ov::cache::EncodeIdEntry(u"bob"), &name));
    EXPECT_EQ(name, u"bob");
    EXPECT_EQ(ov::cache::EncodeIdEntry(u""), (std::vector<uint8_t>{0, 0, 0, 0}));
    const std::vector<uint8_t> overlong = {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0};
    EXPECT_FALSE(ov::cache::DecodeIdEntry(overlong, &name));
    EXPECT_FALSE(ov::cache::DecodeIdEntry(std::vector<uint8_t>{2, 0}, &name));
    // A count that stops inside a character drops the half character.
    EXPECT_TRUE(ov::cache::DecodeIdEntry(std::vector<uint8_t>{3, 0, 0, 0, 'a', 0, 'b'}, &name));
    EXPECT_EQ(name, u"a");
}

TEST_F(CacheTest, AddFilesTheRecordUnderNameAndIdAsTheFileFormatSays) {
    const std::string path = File("cache.dat");
    ASSERT_EQ(Init(path), 1);
    ASSERT_EQ(Add("alice", 12345, {1, 2, 3}), 1);
    EXPECT_EQ(ById(12345), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(ById(12345), ByName("alice"));
    cache_.Reset();

    ComPtr<IStorage> root = OpenFile(path, STGM_READ | STGM_SHARE_EXCLUSIVE);
    EXPECT_EQ(ElementNames(root.Get()),
              (std::vector<std::u16string>{u"UserIDTable", u"UserNameTable"}));
    ComPtr<IStorage> names, alice, ids;
    ASSERT_EQ(root->OpenStorage(u"UserNameTable", STGM_READ | STGM_SHARE_EXCLUSIVE,
                                names.ReleaseAndGetAddressOf()),
              S_OK);
    ASSERT_EQ(names->OpenStorage(u"alice", STGM_READ | STGM_SHARE_EXCLUSIVE,
                                 alice.ReleaseAndGetAddressOf()),
              S_OK);
    EXPECT_EQ(ElementNames(alice.Get()), (std::vector<std::u16string>{u"ID", u"DATA"}));
    EXPECT_EQ(StreamBytes(alice.Get(), u"ID"), (std::vector<uint8_t>{0x39, 0x30, 0, 0}));
    EXPECT_EQ(StreamBytes(alice.Get(), u"DATA"), (std::vector<uint8_t>{1, 2, 3}));
    ASSERT_EQ(root->OpenStorage(u"UserIDTable", STGM_READ | STGM_SHARE_EXCLUSIVE,
                                ids.ReleaseAndGetAddressOf()),
              S_OK);
    EXPECT_EQ(StreamBytes(ids.Get(), u"0000012345"),
              (std::vector<uint8_t>{12, 0, 0, 0, 'a', 0, 'l', 0, 'i', 0, 'c', 0, 'e', 0, 0, 0}));
}

TEST_F(CacheTest, AddReplacesARecordOfTheSameNameAndDropsItsFlag) {
    const std::string path = File("cache.dat");
    ASSERT_EQ(Init(path), 1);
    ASSERT_EQ(Add("alice", 100, B("old")), 1);
    ASSERT_EQ(AllowByName("alice", 0), 1);
    // Names compare as the file format compares them: without regard to case.
    ASSERT_EQ(Add("ALICE", 200, B("new")), 1);
    EXPECT_EQ(ByName("alice"), B("new"));
    EXPECT_EQ(ById(200), B("new"));
    // The entry of the old ID stays in the file but no longer leads to the record.
    EXPECT_EQ(ById(100), None());
    ExpectFailure(4);
    EXPECT_EQ(AllowById(100, 0), 0);
    ExpectFailure(4);
    cache_.Reset();

    ComPtr<IStorage> root = OpenFile(path, STGM_READWRITE | STGM_SHARE_EXCLUSIVE);
    ComPtr<IStorage> record = Child(Child(root.Get(), u"UserNameTable").Get(), u"alice");
    EXPECT_EQ(ElementNames(record.Get()), (std::vector<std::u16string>{u"ID", u"DATA"}));
    EXPECT_EQ(StreamBytes(record.Get(), u"ID"), (std::vector<uint8_t>{200, 0, 0, 0}));
    EXPECT_EQ(ElementNames(Child(root.Get(), u"UserIDTable").Get()),
              (std::vector<std::u16string>{u"0000000100", u"0000000200"}));
}

TEST_F(CacheTest, UnknownNamesAndIdsFailWithTheirOwnErrors) {
    ASSERT_EQ(Init(File("cache.dat")), 1);
    ASSERT_EQ(Add("alice", 1, B("a")), 1);

    Variant keep;
    keep.vt = VT_I4;
    keep.lVal = 5;
    Record(cache_->QueryFromName(Bstr::FromUtf8("bob"), &keep));
    ExpectFailure(3);
    EXPECT_EQ(keep.vt, VT_I4);
    Record(cache_->QueryFromID(2, &keep));
    ExpectFailure(4);
    EXPECT_EQ(keep.lVal, 5);

    EXPECT_EQ(Delete("bob"), 0);
    ExpectFailure(3);
    EXPECT_EQ(Modify("bob", B("x")), 0);
    ExpectFailure(3);
    EXPECT_EQ(AllowByName("bob", 0), 0);
    ExpectFailure(3);
    EXPECT_EQ(AllowById(2, 0), 0);
    ExpectFailure(4);
    // Names the file format cannot hold.
    for (const std::string& bad : {std::string(), std::string("a/b"), std::string(32, 'x')}) {
        EXPECT_EQ(Add(bad, 3, B("x")), 0) << bad;
        ExpectFailure(3);
    }
    EXPECT_EQ(Add(std::string(31, 'x'), 3, B("x")), 1);
}

TEST_F(CacheTest, ModifyReplacesTheBytesAndKeepsTheId) {
    ASSERT_EQ(Init(File("cache.dat")), 1);
    ASSERT_EQ(Add("alice", 7, B("a longer record")), 1);
    ASSERT_EQ(Modify("alice", B("short")), 1);
    EXPECT_EQ(ById(7), B("short"));
    // Anything but a byte array is stored as no bytes.
    Variant number;
    number.vt = VT_I4;
    number.lVal = 42;
    LONG res = -1;
    ASSERT_EQ(cache_->Modify(Bstr::FromUtf8("alice"), number, &res), S_OK);
    EXPECT_EQ(res, 1);
    Variant out;
    ASSERT_EQ(cache_->QueryFromName(Bstr::FromUtf8("alice"), &out), S_OK);
    EXPECT_EQ(out.vt, VT_ARRAY | VT_UI1);
    EXPECT_EQ(CByteArrayVariant(out).Size(), 0u);
}

TEST_F(CacheTest, DeleteRemovesBothEntriesButNotAnotherRecordsIdEntry) {
    ASSERT_EQ(Init(File("cache.dat")), 1);
    ASSERT_EQ(Add("alice", 1, B("a")), 1);
    ASSERT_EQ(Add("bob", 2, B("b")), 1);
    ASSERT_EQ(Delete("alice"), 1);
    EXPECT_EQ(ByName("alice"), None());
    EXPECT_EQ(ById(1), None());
    ExpectFailure(4);

    // carol takes ID 2 from bob; deleting bob must leave carol reachable by it.
    ASSERT_EQ(Add("carol", 2, B("c")), 1);
    ASSERT_EQ(Delete("bob"), 1);
    EXPECT_EQ(ById(2), B("c"));
    EXPECT_EQ(ByName("bob"), None());
}
