// The cache tests' fixture: a private registry with OVCache.so registered, the calling thread
// in a single-threaded apartment, a scratch directory, and short forms of the cache's calls.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/byte_array_variant.h"
#include "common/interfaces/ovcache.h"
#include "platform/com/com.h"
#include "platform/storage/storage.h"
#include "platform/win32/last_error.h"

class CacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("ovcache-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::create_directories(dir_);
        setenv("ORVANE_REGISTRY", (dir_ / "registry").c_str(), 1);
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        ASSERT_EQ(RegisterServerLibrary(LibraryPath()), S_OK);
        cache_ = NewCache();
        ASSERT_TRUE(cache_);
    }
    void TearDown() override {
        cache_.Reset();
        CoUninitialize();
        unsetenv("ORVANE_REGISTRY");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    static std::string LibraryPath() { return GetProgramDirectory() + kOVCacheLibraryFile; }
    std::string File(const std::string& name) const { return (dir_ / name).string(); }

    static ComPtr<IOVCache> NewCache() {
        ComPtr<IOVCache> cache;
        EXPECT_EQ(CoCreateInstance(CLSID_OVCache, &cache), S_OK);
        return cache;
    }

    // Each call returns its result value, and records the status and the last error.
    LONG Init(const std::string& path, IOVCache* cache = nullptr) {
        LONG res = -1;
        Record((cache ? cache : cache_.Get())->Init(Bstr::FromUtf8(path), &res));
        return res;
    }
    LONG Add(const std::string& name, ULONG id, const std::vector<uint8_t>& bytes) {
        LONG res = -1;
        CByteArrayVariant data(bytes.data(), bytes.size());
        Record(cache_->Add(Bstr::FromUtf8(name), id, data.Variant(), &res));
        return res;
    }
    LONG Modify(const std::string& name, const std::vector<uint8_t>& bytes) {
        LONG res = -1;
        CByteArrayVariant data(bytes.data(), bytes.size());
        Record(cache_->Modify(Bstr::FromUtf8(name), data.Variant(), &res));
        return res;
    }
    LONG Delete(const std::string& name) {
        LONG res = -1;
        Record(cache_->Delete(Bstr::FromUtf8(name), &res));
        return res;
    }
    LONG AutoDelete() {
        LONG res = -1;
        Record(cache_->AutoDelete(&res));
        return res;
    }
    LONG AllowByName(const std::string& name, LONG flag) {
        LONG res = -1;
        Record(cache_->AllowAutoDeleteFromName(Bstr::FromUtf8(name), flag, &res));
        return res;
    }
    LONG AllowById(ULONG id, LONG flag) {
        LONG res = -1;
        Record(cache_->AllowAutoDeleteFromID(id, flag, &res));
        return res;
    }
    // The record's bytes; "<none>" (as bytes) when the query fails, so that tests read plainly.
    std::vector<uint8_t> ByName(const std::string& name) {
        Variant out;
        Record(cache_->QueryFromName(Bstr::FromUtf8(name), &out));
        return hr_ == S_OK ? CByteArrayVariant(out).Bytes() : None();
    }
    std::vector<uint8_t> ById(ULONG id) {
        Variant out;
        Record(cache_->QueryFromID(id, &out));
        return hr_ == S_OK ? CByteArrayVariant(out).Bytes() : None();
    }
    static std::vector<uint8_t> None() { return {'<', 'n', 'o', 'n', 'e', '>'}; }
    static std::vector<uint8_t> B(const std::string& s) { return {s.begin(), s.end()}; }

    // Status and last error of the last call: S_OK with error untouched, or S_FALSE and 1..4.
    void Record(HRESULT hr) {
        hr_ = hr;
        error_ = hr == S_OK ? 0 : GetLastError();
    }
    void ExpectFailure(DWORD error) {
        EXPECT_EQ(hr_, S_FALSE);
        EXPECT_EQ(error_, error);
    }

    // Storage-level access to a released cache file.
    static ComPtr<IStorage> OpenFile(const std::string& path, DWORD mode) {
        ComPtr<IStorage> root;
        EXPECT_EQ(StgOpenStorage(path, mode, root.ReleaseAndGetAddressOf()), S_OK);
        return root;
    }
    static ComPtr<IStorage> Child(IStorage* parent, const char16_t* name) {
        ComPtr<IStorage> child;
        EXPECT_EQ(parent->OpenStorage(name, STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                      child.ReleaseAndGetAddressOf()),
                  S_OK);
        return child;
    }
    static std::vector<uint8_t> StreamBytes(IStorage* parent, const char16_t* name) {
        ComPtr<IStream> s;
        if (FAILED(parent->OpenStream(name, STGM_READ | STGM_SHARE_EXCLUSIVE,
                                      s.ReleaseAndGetAddressOf())))
            return None();
        STATSTG st;
        s->Stat(&st, STATFLAG_NONAME);
        std::vector<uint8_t> bytes(static_cast<size_t>(st.cbSize));
        ULONG read = 0;
        s->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
        return bytes;
    }
    static std::vector<std::u16string> ElementNames(IStorage* storage) {
        std::vector<STATSTG> elements;
        EXPECT_EQ(storage->EnumElements(&elements), S_OK);
        std::vector<std::u16string> names;
        for (const STATSTG& e : elements)
            names.push_back(e.name);
        return names;
    }
    // Sets the record's last-used time in a released cache file.
    static void SetLastUsed(const std::string& path, const char16_t* name, const FILETIME& time) {
        ComPtr<IStorage> root =
            OpenFile(path, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_TRANSACTED);
        ComPtr<IStorage> names = Child(root.Get(), u"UserNameTable");
        ASSERT_EQ(names->SetElementTimes(name, nullptr, nullptr, &time), S_OK);
        ASSERT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    }
    static FILETIME DaysAgo(int days) {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        return FileTimeFromUInt64(FileTimeToUInt64(now) -
                                  uint64_t(days) * 86'400ull * 10'000'000ull);
    }

    static std::vector<uint8_t> ReadFileBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    ComPtr<IOVCache> cache_;
    HRESULT hr_ = E_FAIL;
    DWORD error_ = 0;

private:
    static inline int counter_ = 0;
    std::filesystem::path dir_;
};
