// The storage objects over real files: what a commit writes and what comes back, transactions,
// exclusive opening, element rules and stream positioning.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/storage/compound_format.h"
#include "platform/storage/tests/storage_test_support.h"

namespace {

const std::vector<size_t> kBoundarySizes = {0,   1,    63,   64,   65,   511,  512,
                                            513, 4095, 4096, 4097, 8191, 70000};

std::u16string SizeName(size_t n) {
    std::string s = "s" + std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

FILETIME Ft(uint64_t v) {
    return FileTimeFromUInt64(v);
}

class StorageTest : public ::testing::Test {
protected:
    ComPtr<IStorage> Create(const std::string& path, DWORD mode = kRootRW) {
        ComPtr<IStorage> root;
        EXPECT_EQ(StgCreateDocfile(path, mode | STGM_CREATE, root.ReleaseAndGetAddressOf()), S_OK);
        return root;
    }
    ComPtr<IStorage> Open(const std::string& path, DWORD mode = kRootRW) {
        ComPtr<IStorage> root;
        EXPECT_EQ(StgOpenStorage(path, mode, root.ReleaseAndGetAddressOf()), S_OK);
        return root;
    }

    ScratchDir dir_;
};

}  // namespace

TEST_F(StorageTest, CommittedTreeReadsBackWithBytesAtSectorAndCutoffBoundaries) {
    const std::string path = dir_.File("tree.cf");
    {
        ComPtr<IStorage> root = Create(path);
        ComPtr<IStorage> sizes = SubStorage(root.Get(), u"Sizes", true);
        for (size_t n : kBoundarySizes)
            ASSERT_EQ(PutStream(sizes.Get(), SizeName(n).c_str(), Pattern(n, 7)), S_OK);
        ComPtr<IStorage> deep = SubStorage(SubStorage(root.Get(), u"a", true).Get(), u"b", true);
        ASSERT_EQ(PutStream(deep.Get(), u"leaf", Pattern(3)), S_OK);
        ASSERT_EQ(PutStream(root.Get(), u"top", Pattern(5000)), S_OK);
        // Explicit times survive; "a" gets times that differ only in their upper half.
        const FILETIME c = Ft(0x01D0'0000'1234'5678), m = Ft(0x01D1'0000'1234'5678);
        ASSERT_EQ(root->SetElementTimes(u"a", &c, nullptr, &m), S_OK);
        ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    }
    ComPtr<IStorage> root = Open(path, STGM_READ | STGM_SHARE_DENY_WRITE);
    ComPtr<IStorage> sizes;
    ASSERT_EQ(root->OpenStorage(u"Sizes", STGM_READ | STGM_SHARE_EXCLUSIVE,
                                sizes.ReleaseAndGetAddressOf()),
              S_OK);
    std::vector<STATSTG> elements;
    ASSERT_EQ(sizes->EnumElements(&elements), S_OK);
    ASSERT_EQ(elements.size(), kBoundarySizes.size());
    for (size_t n : kBoundarySizes)
        EXPECT_EQ(GetStream(sizes.Get(), SizeName(n).c_str()), Pattern(n, 7)) << n;
    for (const STATSTG& st : elements) {  // streams carry no times
        EXPECT_EQ(st.type, STGTY_STREAM);
        EXPECT_EQ(FileTimeToUInt64(st.mtime), 0u);
        EXPECT_EQ(FileTimeToUInt64(st.ctime), 0u);
    }
    EXPECT_EQ(GetStream(root.Get(), u"top"), Pattern(5000));
    ComPtr<IStorage> a;
    ASSERT_EQ(root->OpenStorage(u"A", STGM_READ | STGM_SHARE_EXCLUSIVE, a.ReleaseAndGetAddressOf()),
              S_OK);
    STATSTG st;
    ASSERT_EQ(a->Stat(&st, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(st.name, u"a");
    EXPECT_EQ(FileTimeToUInt64(st.ctime), 0x01D0'0000'1234'5678u);
    EXPECT_EQ(FileTimeToUInt64(st.mtime), 0x01D1'0000'1234'5678u);
    ComPtr<IStorage> b;
    ASSERT_EQ(a->OpenStorage(u"b", STGM_READ | STGM_SHARE_EXCLUSIVE, b.ReleaseAndGetAddressOf()),
              S_OK);
    EXPECT_EQ(GetStream(b.Get(), u"leaf"), Pattern(3));
}

TEST_F(StorageTest, FileChangesOnlyAtRootCommitAndReleaseWithoutCommitDropsChanges) {
    const std::string path = dir_.File("tx.cf");
    {
        ComPtr<IStorage> root = Create(path);
        ASSERT_EQ(PutStream(root.Get(), u"kept", Pattern(10)), S_OK);
        ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    }
    const std::vector<uint8_t> committed = ReadFileBytes(path);
    {
        ComPtr<IStorage> root = Open(path);
        ASSERT_EQ(PutStream(root.Get(), u"lost", Pattern(10)), S_OK);
        ComPtr<IStorage> child = SubStorage(root.Get(), u"child", true);
        ASSERT_EQ(child->Commit(STGC_DEFAULT), S_OK);  // publishes nothing to disk
        EXPECT_EQ(ReadFileBytes(path), committed);
    }
    EXPECT_EQ(ReadFileBytes(path), committed);

    // Revert goes back to the last commit, and handles from before it stop working.
    ComPtr<IStorage> root = Open(path);
    ComPtr<IStream> kept;
    ASSERT_EQ(root->OpenStream(u"kept", kRW, kept.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(root->DestroyElement(u"kept"), S_OK);
    ASSERT_EQ(root->Revert(), S_OK);
    EXPECT_EQ(GetStream(root.Get(), u"kept"), Pattern(10));
    EXPECT_EQ(kept->Write("x", 1, nullptr), STG_E_REVERTED);
    root.Reset();
    EXPECT_EQ(ReadFileBytes(path), committed);
}

TEST_F(StorageTest, DirectRootWritesOnRelease) {
    const std::string path = dir_.File("direct.cf");
    {
        ComPtr<IStorage> root = Create(path, kRW);
        ASSERT_EQ(PutStream(root.Get(), u"x", Pattern(100)), S_OK);
    }
    ComPtr<IStorage> root = Open(path, STGM_READ | STGM_SHARE_EXCLUSIVE);
    EXPECT_EQ(GetStream(root.Get(), u"x"), Pattern(100));
}

TEST_F(StorageTest, ExclusiveHolderKeepsOthersOutAcrossCommits) {
    const std::string path = dir_.File("excl.cf");
    ComPtr<IStorage> first = Create(path);
    ASSERT_EQ(PutStream(first.Get(), u"data", Pattern(20)), S_OK);
    ComPtr<IStorage> second;
    EXPECT_EQ(StgOpenStorage(path, kRootRW, second.ReleaseAndGetAddressOf()), STG_E_LOCKVIOLATION);
    // A commit replaces the file; the lock must move with it.
    ASSERT_EQ(first->Commit(STGC_DEFAULT), S_OK);
    EXPECT_EQ(
        StgOpenStorage(path, STGM_READ | STGM_SHARE_DENY_WRITE, second.ReleaseAndGetAddressOf()),
        STG_E_LOCKVIOLATION);
    // Creating over a held file must not destroy it.
    EXPECT_EQ(StgCreateDocfile(path, kRootRW | STGM_CREATE, second.ReleaseAndGetAddressOf()),
              STG_E_LOCKVIOLATION);
    EXPECT_FALSE(second);
    first.Reset();

    // Readers that deny writing share the file with each other, not with a writer.
    ComPtr<IStorage> r1 = Open(path, STGM_READ | STGM_SHARE_DENY_WRITE);
    ComPtr<IStorage> r2 = Open(path, STGM_READ | STGM_SHARE_DENY_WRITE);
    EXPECT_EQ(GetStream(r2.Get(), u"data"), Pattern(20));
    EXPECT_EQ(StgOpenStorage(path, kRootRW, second.ReleaseAndGetAddressOf()), STG_E_LOCKVIOLATION);
    r1.Reset();
    r2.Reset();
    EXPECT_EQ(StgOpenStorage(path, kRootRW, second.ReleaseAndGetAddressOf()), S_OK);
}

TEST_F(StorageTest, OpeningTellsMissingForeignAndCompoundFilesApart) {
    ComPtr<IStorage> root;
    EXPECT_EQ(StgOpenStorage(dir_.File("none"), kRootRW, root.ReleaseAndGetAddressOf()),
              STG_E_FILENOTFOUND);
    EXPECT_EQ(StgIsStorageFile(dir_.File("none")), STG_E_FILENOTFOUND);
    const std::string text = dir_.File("text");
    WriteFileBytes(text, std::vector<uint8_t>(600, 'x'));
    EXPECT_EQ(StgOpenStorage(text, kRootRW, root.ReleaseAndGetAddressOf()), STG_E_INVALIDHEADER);
    EXPECT_EQ(StgIsStorageFile(text), S_FALSE);
    EXPECT_EQ(StgCreateDocfile(text, kRootRW, root.ReleaseAndGetAddressOf()),
              STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(StgCreateDocfile(text, kRootRW | STGM_CREATE, root.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(StgIsStorageFile(text), S_OK);

    // A read-only file is not replaced.
    const std::string locked = dir_.File("readonly");
    WriteFileBytes(locked, {1, 2, 3});
    ::chmod(locked.c_str(), 0444);
    if (::geteuid() != 0) {  // root writes anyway
        EXPECT_EQ(StgCreateDocfile(locked, kRootRW | STGM_CREATE, root.ReleaseAndGetAddressOf()),
                  STG_E_ACCESSDENIED);
        EXPECT_EQ(ReadFileBytes(locked), (std::vector<uint8_t>{1, 2, 3}));
    }
}

TEST_F(StorageTest, ElementNamesCreationAndDestruction) {
    ComPtr<IStorage> root = Create(dir_.File("names.cf"));
    ComPtr<IStream> s;
    const std::u16string longest(31, u'n');
    EXPECT_EQ(root->CreateStream(longest.c_str(), kRW, s.ReleaseAndGetAddressOf()), S_OK);
    for (const char16_t* bad :
         {u"", u"a/b", u"a\\b", u"a:b", u"a!b", u"nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn"}) {
        EXPECT_EQ(root->CreateStream(bad, kRW, s.ReleaseAndGetAddressOf()), STG_E_INVALIDNAME)
            << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
    }

    ASSERT_EQ(PutStream(root.Get(), u"Record", Pattern(4)), S_OK);
    EXPECT_EQ(root->CreateStream(u"RECORD", kRW, s.ReleaseAndGetAddressOf()),
              STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(GetStream(root.Get(), u"rEcOrD"), Pattern(4));
    ComPtr<IStorage> asStorage;
    EXPECT_EQ(root->OpenStorage(u"Record", kRW, asStorage.ReleaseAndGetAddressOf()),
              STG_E_FILENOTFOUND);

    // Replacing (STGM_CREATE) and destroying leave old handles stale, never dangling.
    ComPtr<IStream> old;
    ASSERT_EQ(root->OpenStream(u"Record", kRW, old.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<IStorage> replacement;
    ASSERT_EQ(
        root->CreateStorage(u"record", kRW | STGM_CREATE, replacement.ReleaseAndGetAddressOf()),
        S_OK);
    EXPECT_EQ(old->Write("x", 1, nullptr), STG_E_REVERTED);
    ASSERT_EQ(PutStream(replacement.Get(), u"inner", Pattern(1)), S_OK);
    ASSERT_EQ(root->DestroyElement(u"RECORD"), S_OK);
    EXPECT_EQ(PutStream(replacement.Get(), u"inner", Pattern(1)), STG_E_REVERTED);
    EXPECT_EQ(root->DestroyElement(u"record"), STG_E_FILENOTFOUND);

    // A read-only root refuses every change.
    ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    root.Reset();
    ComPtr<IStorage> ro = Open(dir_.File("names.cf"), STGM_READ | STGM_SHARE_EXCLUSIVE);
    EXPECT_EQ(ro->CreateStream(u"new", kRW, s.ReleaseAndGetAddressOf()), STG_E_ACCESSDENIED);
    EXPECT_EQ(ro->OpenStream(longest.c_str(), kRW, s.ReleaseAndGetAddressOf()), STG_E_ACCESSDENIED);
    EXPECT_EQ(ro->DestroyElement(longest.c_str()), STG_E_ACCESSDENIED);
}

TEST_F(StorageTest, StreamPositionsSizesAndTheParentsModificationTime) {
    ComPtr<IStorage> root = Create(dir_.File("stream.cf"));
    ComPtr<IStorage> rec = SubStorage(root.Get(), u"rec", true);
    const FILETIME old = Ft(0x01C0'0000'0000'0000);
    ASSERT_EQ(root->SetElementTimes(u"rec", &old, nullptr, &old), S_OK);

    ComPtr<IStream> s;
    ASSERT_EQ(rec->CreateStream(u"DATA", kRW, s.ReleaseAndGetAddressOf()), S_OK);
    ULONGLONG pos = 0;
    ASSERT_EQ(s->Seek(10, STREAM_SEEK_SET, &pos), S_OK);
    ASSERT_EQ(s->Write("ab", 2, nullptr), S_OK);
    EXPECT_EQ(root->SetElementTimes(u"rec", nullptr, nullptr, nullptr), S_OK);
    std::vector<STATSTG> elements;
    ASSERT_EQ(root->EnumElements(&elements), S_OK);
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_GT(FileTimeToUInt64(elements[0].mtime), FileTimeToUInt64(old));  // refreshed by Write
    EXPECT_EQ(FileTimeToUInt64(elements[0].ctime), FileTimeToUInt64(old));

    std::vector<uint8_t> expect(12, 0);
    expect[10] = 'a';
    expect[11] = 'b';
    EXPECT_EQ(GetStream(rec.Get(), u"DATA"), expect);
    ASSERT_EQ(s->Seek(-1, STREAM_SEEK_END, &pos), S_OK);
    EXPECT_EQ(pos, 11u);
    char c = 0;
    ULONG n = 0;
    ASSERT_EQ(s->Read(&c, 1, &n), S_OK);
    EXPECT_EQ(c, 'b');
    ASSERT_EQ(s->Read(&c, 1, &n), S_OK);
    EXPECT_EQ(n, 0u);  // at the end
    EXPECT_EQ(s->Seek(-13, STREAM_SEEK_CUR, &pos), STG_E_INVALIDFUNCTION);
    ASSERT_EQ(s->SetSize(3), S_OK);
    EXPECT_EQ(GetStream(rec.Get(), u"DATA"), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(root->SetElementTimes(u"none", &old, nullptr, &old), STG_E_FILENOTFOUND);
    EXPECT_EQ(rec->SetElementTimes(u"DATA", &old, nullptr, &old), STG_E_INVALIDFUNCTION);
}

TEST_F(StorageTest, FileLargerThanTheHeaderFatListGetsADifatAndReadsBack) {
    // 109 FAT sectors map about 6.8 MB; three streams of 3 MB need more.
    const std::string path = dir_.File("big.cf");
    {
        ComPtr<IStorage> root = Create(path);
        for (int i = 0; i < 3; ++i) {
            const char16_t name[] = {u'b', static_cast<char16_t>(u'0' + i), 0};
            ASSERT_EQ(PutStream(root.Get(), name, Pattern(3'000'000, static_cast<uint8_t>(i))),
                      S_OK);
        }
        ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    }
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    ASSERT_GE(bytes.size(), 512u);
    EXPECT_GT(ov::cfb::Get32(bytes.data() + ov::cfb::kOffFatSectorCount), 109u);
    EXPECT_GE(ov::cfb::Get32(bytes.data() + ov::cfb::kOffDifatSectorCount), 1u);
    ComPtr<IStorage> root = Open(path, STGM_READ | STGM_SHARE_EXCLUSIVE);
    EXPECT_EQ(GetStream(root.Get(), u"b2"), Pattern(3'000'000, 2));
}
