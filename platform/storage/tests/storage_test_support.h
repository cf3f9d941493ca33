// Helpers shared by the storage tests: a scratch directory, file access, and short ways to
// write and read streams.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/storage/storage.h"

constexpr DWORD kRW = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kRootRW = kRW | STGM_TRANSACTED;

class ScratchDir {
public:
    ScratchDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("ovstg-" + std::to_string(getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
};

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Bytes 0, 1, 2, ... (mod 251, so that sector-sized runs do not repeat in step).
inline std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 0) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>((i + seed) % 251);
    return v;
}

inline HRESULT PutStream(IStorage* storage, const char16_t* name,
                         const std::vector<uint8_t>& data) {
    ComPtr<IStream> s;
    HRESULT hr = storage->CreateStream(name, kRW | STGM_CREATE, s.ReleaseAndGetAddressOf());
    if (FAILED(hr))
        return hr;
    ULONG written = 0;
    hr = s->Write(data.data(), static_cast<ULONG>(data.size()), &written);
    return FAILED(hr) ? hr : written == data.size() ? S_OK : E_FAIL;
}

// The whole stream; fails the test when it cannot be read.
inline std::vector<uint8_t> GetStream(IStorage* storage, const char16_t* name) {
    ComPtr<IStream> s;
    HRESULT hr =
        storage->OpenStream(name, STGM_READ | STGM_SHARE_EXCLUSIVE, s.ReleaseAndGetAddressOf());
    EXPECT_EQ(hr, S_OK);
    if (FAILED(hr))
        return {};
    STATSTG st;
    s->Stat(&st, STATFLAG_NONAME);
    std::vector<uint8_t> data(static_cast<size_t>(st.cbSize));
    ULONG read = 0;
    EXPECT_EQ(s->Read(data.data(), static_cast<ULONG>(data.size()), &read), S_OK);
    EXPECT_EQ(read, data.size());
    return data;
}

inline ComPtr<IStorage> SubStorage(IStorage* parent, const char16_t* name, bool create) {
    ComPtr<IStorage> child;
    HRESULT hr =
        create ? parent->CreateStorage(name, kRW | STGM_CREATE, child.ReleaseAndGetAddressOf())
               : parent->OpenStorage(name, kRW, child.ReleaseAndGetAddressOf());
    EXPECT_EQ(hr, S_OK);
    return child;
}

// Runs a shell command and returns what it printed on standard output.
inline std::string RunCommand(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) {
        if (status)
            *status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int rc = ::pclose(p);
    if (status)
        *status = rc;
    return out;
}

inline bool HaveTool(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}
