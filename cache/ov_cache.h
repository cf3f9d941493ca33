// COVCache: the cache object behind IOVCache. Apartment-threaded: each object is used from the
// thread that created it, so it takes no locks. The cache file is opened transacted and
// exclusive; everything since Init reaches the disk when the object is released (or at the next
// Init), and nothing of it if the process ends first.
#pragma once

#include <string>

#include "common/interfaces/ovcache.h"
#include "platform/com/com.h"
#include "platform/storage/storage.h"

class COVCache final : public DispatchObject<COVCache, IOVCache> {
public:
    COVCache() = default;
    ~COVCache() override;

    static const DispatchTable<IOVCache>& DispatchMap() { return OVCacheDispatch(); }

    HRESULT Init(BSTR pwcsCacheName, LONG* pRes) override;
    HRESULT Add(BSTR pwcsUserName, ULONG nID, VARIANT vData, LONG* pRes) override;
    HRESULT AutoDelete(LONG* pRes) override;
    HRESULT Delete(BSTR pwcsUserName, LONG* pRes) override;
    HRESULT QueryFromID(ULONG nID, VARIANT* pvRes) override;
    HRESULT QueryFromName(BSTR pwcsName, VARIANT* pvRes) override;
    HRESULT Modify(BSTR pwcsUserName, VARIANT vData, LONG* pRes) override;
    HRESULT AllowAutoDeleteFromID(ULONG nID, LONG bAutoDelete, LONG* pRes) override;
    HRESULT AllowAutoDeleteFromName(BSTR pwcsName, LONG bAllowDelete, LONG* pRes) override;

private:
    bool IsOpen() const { return root_ && names_ && ids_; }
    bool OpenExisting(const std::string& path);
    bool CreateNew(const std::string& path);
    // Commits the tables and the root, and lets them go.
    void Close();

    HRESULT OpenRecord(LPCOLESTR name, ComPtr<IStorage>* record);
    // The user name the ID table files under the ID; false when there is none. A name whose
    // record now has another ID does not count (the entry is left over from an earlier Add).
    bool NameForId(ULONG id, std::u16string* name);
    // The query and the flag setting, shared by the by-name and by-ID members; they return
    // the last error of a failure, or 0.
    DWORD Query(LPCOLESTR name, VARIANT* pvRes);
    DWORD SetAllowDelete(LPCOLESTR name, LONG flag);
    DWORD DeleteRecord(LPCOLESTR name);

    ComPtr<IStorage> root_;
    ComPtr<IStorage> names_;  // "UserNameTable"
    ComPtr<IStorage> ids_;    // "UserIDTable"
};
