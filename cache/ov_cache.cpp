#include "cache/ov_cache.h"

#include <vector>

#include "cache/cache_records.h"
#include "common/byte_array_variant.h"
#include "platform/storage/element_name.h"
#include "platform/text/cp936.h"
#include "platform/win32/last_error.h"

using ov::cache::IDS_ALLOWDELETE;
using ov::cache::IDS_USERIDTABLE;
using ov::cache::IDS_USERNAMETABLE;
using ov::cache::LoadComponentString;

namespace {

constexpr DWORD kRootMode = STGM_TRANSACTED | STGM_SHARE_EXCLUSIVE | STGM_READWRITE;
constexpr DWORD kElementMode = STGM_SHARE_EXCLUSIVE | STGM_READWRITE;
// An ID table entry holds a name of at most 31 characters; anything much larger is not ours.
constexpr ULONGLONG kMaxIdEntrySize = 4096;

HRESULT Fail(LONG* pRes, DWORD error) {
    if (pRes)
        *pRes = 0;
    SetLastError(error);
    return S_FALSE;
}

HRESULT Outcome(LONG* pRes, DWORD error) {
    return error == 0 ? S_OK : Fail(pRes, error);
}

// The whole stream, up to limit bytes; false when it is larger or cannot be read.
bool ReadWhole(IStream* stream, std::vector<uint8_t>* bytes, ULONGLONG limit) {
    STATSTG st;
    if (FAILED(stream->Stat(&st, STATFLAG_NONAME)) || st.cbSize > limit)
        return false;
    try {
        bytes->resize(static_cast<size_t>(st.cbSize));
    } catch (const std::bad_alloc&) {
        return false;
    }
    ULONG read = 0;
    return SUCCEEDED(stream->Read(bytes->data(), static_cast<ULONG>(bytes->size()), &read)) &&
           read == bytes->size();
}

bool WriteStream(IStorage* parent, LPCOLESTR name, const void* data, size_t size) {
    ComPtr<IStream> stream;
    ULONG written = 0;
    return SUCCEEDED(parent->CreateStream(name, kElementMode | STGM_CREATE,
                                          stream.ReleaseAndGetAddressOf())) &&
           SUCCEEDED(stream->Write(data, static_cast<ULONG>(size), &written)) && written == size &&
           SUCCEEDED(stream->Commit(STGC_DEFAULT));
}

// A 4-byte little-endian value; false when the stream is missing or shorter.
bool ReadDword(IStorage* parent, LPCOLESTR name, uint32_t* value) {
    ComPtr<IStream> stream;
    if (FAILED(parent->OpenStream(name, STGM_READ | STGM_SHARE_EXCLUSIVE,
                                  stream.ReleaseAndGetAddressOf())))
        return false;
    uint8_t b[4];
    ULONG read = 0;
    if (FAILED(stream->Read(b, sizeof b, &read)) || read != sizeof b)
        return false;
    *value = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return true;
}

void Dword(uint32_t v, uint8_t out[4]) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

COVCache::~COVCache() {
    Close();
}

void COVCache::Close() {
    if (names_)
        names_->Commit(STGC_DEFAULT);
    if (ids_)
        ids_->Commit(STGC_DEFAULT);
    if (root_)
        root_->Commit(STGC_DEFAULT);
    names_.Reset();
    ids_.Reset();
    root_.Reset();
}

bool COVCache::OpenExisting(const std::string& path) {
    return SUCCEEDED(StgOpenStorage(path, kRootMode, root_.ReleaseAndGetAddressOf())) &&
           SUCCEEDED(root_->OpenStorage(LoadComponentString(IDS_USERNAMETABLE), kRootMode,
                                        names_.ReleaseAndGetAddressOf())) &&
           SUCCEEDED(root_->OpenStorage(LoadComponentString(IDS_USERIDTABLE), kRootMode,
                                        ids_.ReleaseAndGetAddressOf()));
}

bool COVCache::CreateNew(const std::string& path) {
    return SUCCEEDED(
               StgCreateDocfile(path, kRootMode | STGM_CREATE, root_.ReleaseAndGetAddressOf())) &&
           SUCCEEDED(root_->CreateStorage(LoadComponentString(IDS_USERNAMETABLE), kElementMode,
                                          names_.ReleaseAndGetAddressOf())) &&
           SUCCEEDED(root_->CreateStorage(LoadComponentString(IDS_USERIDTABLE), kElementMode,
                                          ids_.ReleaseAndGetAddressOf()));
}

HRESULT COVCache::Init(BSTR pwcsCacheName, LONG* pRes) {
    if (pRes == nullptr)
        return E_POINTER;
    *pRes = 1;
    Close();
    if (pwcsCacheName == nullptr || SysStringLen(pwcsCacheName) == 0)
        return Fail(pRes, OVCACHE_ERROR_INIT_FAILED);
    const std::string path = ov::Utf16ToUtf8(std::u16string_view(pwcsCacheName));
    if (OpenExisting(path))
        return S_OK;
    // Without the roots' commit nothing of a failed attempt reaches the file.
    names_.Reset();
    ids_.Reset();
    root_.Reset();
    if (CreateNew(path))
        return S_OK;
    names_.Reset();
    ids_.Reset();
    root_.Reset();
    return Fail(pRes, OVCACHE_ERROR_INIT_FAILED);
}

HRESULT COVCache::OpenRecord(LPCOLESTR name, ComPtr<IStorage>* record) {
    return names_->OpenStorage(name ? name : u"", kElementMode, record->ReleaseAndGetAddressOf());
}

HRESULT COVCache::Add(BSTR pwcsUserName, ULONG nID, VARIANT vData, LONG* pRes) {
    if (pRes == nullptr)
        return E_POINTER;
    *pRes = 1;
    if (!IsOpen())
        return Fail(pRes, OVCACHE_ERROR_NOT_OPEN);
    const LPCOLESTR name = pwcsUserName ? pwcsUserName : u"";
    ComPtr<IStorage> record;
    if (FAILED(names_->CreateStorage(name, kElementMode | STGM_CREATE,
                                     record.ReleaseAndGetAddressOf())))
        return Fail(pRes, OVCACHE_ERROR_NO_NAME);
    const CByteArrayVariant data(vData);
    uint8_t id[4];
    Dword(nID, id);
    if (!WriteStream(record.Get(), ov::cache::kIdStream, id, sizeof id) ||
        !WriteStream(record.Get(), ov::cache::kDataStream, data.Data(), data.Size()) ||
        FAILED(record->Commit(STGC_DEFAULT))) {
        record.Reset();
        names_->DestroyElement(name);  // no half-written record stays behind
        return Fail(pRes, OVCACHE_ERROR_NO_NAME);
    }
    const std::vector<uint8_t> entry = ov::cache::EncodeIdEntry(name);
    if (!WriteStream(ids_.Get(), ov::cache::IdKey(nID).c_str(), entry.data(), entry.size()))
        return Fail(pRes, OVCACHE_ERROR_NO_NAME);
    return S_OK;
}

DWORD COVCache::DeleteRecord(LPCOLESTR name) {
    ComPtr<IStorage> record;
    if (FAILED(OpenRecord(name, &record)))
        return OVCACHE_ERROR_NO_NAME;
    uint32_t id = 0;
    if (ReadDword(record.Get(), ov::cache::kIdStream, &id)) {
        // The ID's entry goes only if it still names this record: a later Add of another
        // name with the same ID has made it that record's entry.
        std::u16string owner;
        if (NameForId(id, &owner) && ov::cfb::CompareElementNames(owner, name) == 0)
            ids_->DestroyElement(ov::cache::IdKey(id).c_str());
        ids_->Commit(STGC_DEFAULT);
    }
    record.Reset();
    names_->DestroyElement(name);
    names_->Commit(STGC_DEFAULT);
    return 0;
}

HRESULT COVCache::Delete(BSTR pwcsUserName, LONG* pRes) {
    if (pRes == nullptr)
        return E_POINTER;
    *pRes = 1;
    if (!IsOpen())
        return Fail(pRes, OVCACHE_ERROR_NOT_OPEN);
    return Outcome(pRes, DeleteRecord(pwcsUserName ? pwcsUserName : u""));
}

bool COVCache::NameForId(ULONG id, std::u16string* name) {
    ComPtr<IStream> entry;
    std::vector<uint8_t> bytes;
    if (FAILED(ids_->OpenStream(ov::cache::IdKey(id).c_str(), STGM_READ | STGM_SHARE_EXCLUSIVE,
                                entry.ReleaseAndGetAddressOf())) ||
        !ReadWhole(entry.Get(), &bytes, kMaxIdEntrySize) || !ov::cache::DecodeIdEntry(bytes, name))
        return false;
    ComPtr<IStorage> record;
    uint32_t recordId = 0;
    if (SUCCEEDED(OpenRecord(name->c_str(), &record)) &&
        ReadDword(record.Get(), ov::cache::kIdStream, &recordId) && recordId != id)
        return false;
    return true;
}

DWORD COVCache::Query(LPCOLESTR name, VARIANT* pvRes) {
    ComPtr<IStorage> record;
    ComPtr<IStream> stream;
    if (FAILED(OpenRecord(name, &record)) ||
        FAILED(record->OpenStream(ov::cache::kDataStream, kElementMode,
                                  stream.ReleaseAndGetAddressOf())))
        return OVCACHE_ERROR_NO_NAME;
    std::vector<uint8_t> bytes;
    if (!ReadWhole(stream.Get(), &bytes, ~ULONGLONG{0}))
        return OVCACHE_ERROR_NO_NAME;
    CByteArrayVariant data(bytes.data(), bytes.size());
    if (data.Size() != bytes.size())
        return OVCACHE_ERROR_NO_NAME;  // out of memory
    // Mark the record as used: rewriting a byte refreshes the record's modification time.
    // An empty record has no byte to rewrite, so its time is set directly.
    if (!bytes.empty()) {
        stream->Seek(0, STREAM_SEEK_SET, nullptr);
        stream->Write(bytes.data(), 1, nullptr);
        stream->Commit(STGC_DEFAULT);
        record->Commit(STGC_DEFAULT);
    } else {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        names_->SetElementTimes(name, nullptr, nullptr, &now);
    }
    VariantClear(pvRes);
    data.Detach(pvRes);
    return 0;
}

HRESULT COVCache::QueryFromName(BSTR pwcsName, VARIANT* pvRes) {
    if (pvRes == nullptr)
        return E_POINTER;
    if (!IsOpen())
        return Fail(nullptr, OVCACHE_ERROR_NOT_OPEN);
    return Outcome(nullptr, Query(pwcsName ? pwcsName : u"", pvRes));
}

HRESULT COVCache::QueryFromID(ULONG nID, VARIANT* pvRes) {
    if (pvRes == nullptr)
        return E_POINTER;
    if (!IsOpen())
        return Fail(nullptr, OVCACHE_ERROR_NOT_OPEN);
    std::u16string name;
    if (!NameForId(nID, &name))
        return Fail(nullptr, OVCACHE_ERROR_NO_ID);
    return Outcome(nullptr, Query(name.c_str(), pvRes));
}

HRESULT COVCache::Modify(BSTR pwcsUserName, VARIANT vData, LONG* pRes) {
    if (pRes == nullptr)
        return E_POINTER;
    *pRes = 1;
    if (!IsOpen())
        return Fail(pRes, OVCACHE_ERROR_NOT_OPEN);
    ComPtr<IStorage> record;
    ComPtr<IStream> stream;
    if (FAILED(OpenRecord(pwcsUserName, &record)) ||
        FAILED(record->OpenStream(ov::cache::kDataStream, kElementMode,
                                  stream.ReleaseAndGetAddressOf())))
        return Fail(pRes, OVCACHE_ERROR_NO_NAME);
    const CByteArrayVariant data(vData);
    ULONG written = 0;
    if (FAILED(stream->SetSize(0)) ||
        FAILED(stream->Write(data.Data(), static_cast<ULONG>(data.Size()), &written)) ||
        written != data.Size())
        return Fail(pRes, OVCACHE_ERROR_NO_NAME);
    stream->Commit(STGC_DEFAULT);
    record->Commit(STGC_DEFAULT);
    return S_OK;
}

DWORD COVCache::SetAllowDelete(LPCOLESTR name, LONG flag) {
    ComPtr<IStorage> record;
    if (FAILED(OpenRecord(name, &record)))
        return OVCACHE_ERROR_NO_NAME;
    uint8_t bytes[4];
    Dword(static_cast<uint32_t>(flag), bytes);
    if (!WriteStream(record.Get(), LoadComponentString(IDS_ALLOWDELETE), bytes, sizeof bytes))
        return OVCACHE_ERROR_NO_NAME;
    record->Commit(STGC_DEFAULT);
    return 0;
}

HRESULT COVCache::AllowAutoDeleteFromName(BSTR pwcsName, LONG bAllowDelete, LONG* pRes) {
    if (pRes == nullptr)
        return E_POINTER;
    *pRes = 1;
    if (!IsOpen())
        return Fail(pRes, OVCACHE_ERROR_NOT_OPEN);
    return Outcome(pRes, SetAllowDelete(pwcsName, bAllowDelete));
}

HRESULT COVCache::AllowAutoDeleteFromID(ULONG nID, LONG bAutoDelete, LONG* pRes) {
    if (pRes == nullptr)
        return E_POINTER;
    *pRes = 1;
    if (!IsOpen())
        return Fail(pRes, OVCACHE_ERROR_NOT_OPEN);
    std::u16string name;
    if (!NameForId(nID, &name))
        return Fail(pRes, OVCACHE_ERROR_NO_ID);
    return Outcome(pRes, SetAllowDelete(name.c_str(), bAutoDelete));
}

HRESULT COVCache::AutoDelete(LONG* pRes) {
    if (pRes == nullptr)
        return E_POINTER;
    *pRes = 1;
    if (!IsOpen())
        return Fail(pRes, OVCACHE_ERROR_NOT_OPEN);
    // Record times are UTC; the month is counted in local time, then converted.
    SYSTEMTIME now;
    GetLocalTime(&now);
    const SYSTEMTIME before = ov::cache::OneMonthBefore(now);
    FILETIME local, threshold;
    if (!SystemTimeToFileTime(&before, &local) || !LocalFileTimeToFileTime(&local, &threshold))
        return S_OK;
    std::vector<STATSTG> elements;
    if (FAILED(names_->EnumElements(&elements)))
        return S_OK;
    for (const STATSTG& element : elements) {
        if (element.type != STGTY_STORAGE || CompareFileTime(&element.mtime, &threshold) >= 0)
            continue;
        uint32_t flag = 1;
        ComPtr<IStorage> record;
        if (SUCCEEDED(OpenRecord(element.name.c_str(), &record)) &&
            !ReadDword(record.Get(), LoadComponentString(IDS_ALLOWDELETE), &flag))
            flag = 1;
        record.Reset();
        if (flag != 0)
            DeleteRecord(element.name.c_str());
    }
    return S_OK;
}
