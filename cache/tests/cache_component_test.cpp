// The component's face: registration, the dual interface by DISPID, and results, S_FALSE and
// last errors of members called before the cache is open.
#include <gtest/gtest.h>

#include "cache/tests/cache_test_support.h"
#include "platform/win32/registry.h"

TEST_F(CacheTest, RegistersApartmentClassWithItsProgIds) {
    EXPECT_EQ(ThreadingModelOf(CLSID_OVCache), "Apartment");
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID("IOVCache.OVCache", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_OVCache);
    ASSERT_EQ(CLSIDFromProgID("IOVCache.OVCache.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_OVCache);
    EXPECT_EQ(GuidToString(CLSID_OVCache), "{7E45A27F-2BFD-11D4-A455-0000B4C23621}");
    EXPECT_EQ(GuidToString(IOVCache::kIID), "{7E45A27E-2BFD-11D4-A455-0000B4C23621}");
    EXPECT_EQ(GuidToString(LIBID_OVCacheLib), "{7E45A272-2BFD-11D4-A455-0000B4C23621}");
    RegistryStore reg = RegistryStore::Default();
    EXPECT_EQ(reg.GetString(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(CLSID_OVCache), ""),
              "OVCache Class");
    ComPtr<IDispatch> disp = cache_.As<IDispatch>();
    EXPECT_TRUE(disp);

    EXPECT_EQ(UnregisterServerLibrary(LibraryPath()), S_OK);
    ComPtr<IOVCache> none;
    EXPECT_EQ(CoCreateInstance(CLSID_OVCache, &none), REGDB_E_CLASSNOTREG);
}

TEST_F(CacheTest, EveryMemberIsReachableByItsDispid) {
    ComPtr<IDispatch> disp = cache_.As<IDispatch>();
    for (const OVCacheMemberInfo& m : kOVCacheMembers) {
        Bstr name = Bstr::FromUtf8(m.name);
        LPCOLESTR names[] = {name.Get()};
        DISPID id = 0;
        ASSERT_EQ(disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
        EXPECT_EQ(id, m.dispid) << m.name;
    }

    const std::string path = File("by-dispid.dat");
    Variant result;
    ASSERT_EQ(
        DispCall(disp.Get(), DISPID_OVCACHE_INIT, DISPATCH_METHOD, &result, Bstr::FromUtf8(path)),
        S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 1);
    CByteArrayVariant data("xyz");
    ASSERT_EQ(DispCall(disp.Get(), DISPID_OVCACHE_ADD, DISPATCH_METHOD, &result,
                       Bstr::FromUtf8("alice"), ULONG{4294967295u}, data.Variant()),
              S_OK);
    EXPECT_EQ(result.lVal, 1);
    ASSERT_EQ(DispCall(disp.Get(), DISPID_OVCACHE_QUERYFROMID, DISPATCH_METHOD, &result,
                       ULONG{4294967295u}),
              S_OK);
    EXPECT_EQ(CByteArrayVariant(result).Bytes(), B("xyz"));
    // A failure travels as S_FALSE with the result 0.
    EXPECT_EQ(DispCall(disp.Get(), DISPID_OVCACHE_DELETE, DISPATCH_METHOD, &result,
                       Bstr::FromUtf8("nobody")),
              S_FALSE);
    EXPECT_EQ(result.lVal, 0);
    EXPECT_EQ(GetLastError(), 3u);
}

TEST_F(CacheTest, MembersFailWithError2UntilInitSucceeds) {
    auto expectClosed = [&] {
        EXPECT_EQ(Add("alice", 1, B("a")), 0);
        ExpectFailure(2);
        EXPECT_EQ(Modify("alice", B("a")), 0);
        ExpectFailure(2);
        EXPECT_EQ(Delete("alice"), 0);
        ExpectFailure(2);
        EXPECT_EQ(AutoDelete(), 0);
        ExpectFailure(2);
        EXPECT_EQ(AllowByName("alice", 0), 0);
        ExpectFailure(2);
        EXPECT_EQ(AllowById(1, 0), 0);
        ExpectFailure(2);
        // Queries leave the caller's VARIANT as it was.
        Variant keep;
        keep.vt = VT_I4;
        keep.lVal = 77;
        Record(cache_->QueryFromName(Bstr::FromUtf8("alice"), &keep));
        ExpectFailure(2);
        Record(cache_->QueryFromID(1, &keep));
        ExpectFailure(2);
        EXPECT_EQ(keep.vt, VT_I4);
        EXPECT_EQ(keep.lVal, 77);
    };
    expectClosed();
    // A directory cannot be opened or replaced as a cache file.
    std::filesystem::create_directories(File("a-directory"));
    EXPECT_EQ(Init(File("a-directory")), 0);
    ExpectFailure(1);
    EXPECT_EQ(Init(""), 0);
    ExpectFailure(1);
    expectClosed();

    ASSERT_EQ(Init(File("ok.dat")), 1);
    EXPECT_EQ(hr_, S_OK);
    EXPECT_EQ(Add("alice", 1, B("a")), 1);
    EXPECT_EQ(cache_->Init(nullptr, nullptr), E_POINTER);  // nothing to report a result in
}
