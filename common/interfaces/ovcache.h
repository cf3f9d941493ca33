// IOVCache: the cache component's dual interface, its identifiers, DISPIDs and help strings.
//
//   ComPtr<IOVCache> cache;
//   CoCreateInstance(CLSID_OVCache, &cache);
//   LONG ok = 0;
//   cache->Init(Bstr::FromUtf8(path), &ok);          // ok: 1 opened or created, 0 failed
//   cache->Add(Bstr::FromUtf8("alice"), 12345, CByteArrayVariant("abc").Variant(), &ok);
//   Variant record;
//   cache->QueryFromID(12345, &record);              // S_FALSE and GetLastError() on failure
//
// Every member returns S_OK on success and S_FALSE on failure, with the thread's last error set
// to one of the OVCACHE_ERROR_* values; members with a result set it to 1 on entry and to 0 on
// failure. The only other status is E_POINTER for a missing result pointer.
#pragma once

#include "platform/com/dispatch.h"
#include "platform/com/unknown.h"

// {7E45A27F-2BFD-11D4-A455-0000B4C23621}
constexpr CLSID CLSID_OVCache = {
    0x7E45A27F, 0x2BFD, 0x11D4, {0xA4, 0x55, 0x00, 0x00, 0xB4, 0xC2, 0x36, 0x21}};
// {7E45A272-2BFD-11D4-A455-0000B4C23621}
constexpr GUID LIBID_OVCacheLib = {
    0x7E45A272, 0x2BFD, 0x11D4, {0xA4, 0x55, 0x00, 0x00, 0xB4, 0xC2, 0x36, 0x21}};

constexpr char kOVCacheClassName[] = "OVCache Class";
constexpr char kOVCacheProgId[] = "IOVCache.OVCache.1";
constexpr char kOVCacheVersionIndependentProgId[] = "IOVCache.OVCache";
constexpr char kOVCacheThreadingModel[] = "Apartment";
constexpr char kOVCacheInterfaceName[] = "IOVCache Interface";
// The component's file in the program directory.
constexpr char kOVCacheLibraryFile[] = "OVCache.so";

// Last errors of failing members (Win32 values).
constexpr DWORD OVCACHE_ERROR_INIT_FAILED = 1;  // ERROR_INVALID_FUNCTION: cannot open or create
constexpr DWORD OVCACHE_ERROR_NOT_OPEN = 2;     // ERROR_FILE_NOT_FOUND: Init has not succeeded
constexpr DWORD OVCACHE_ERROR_NO_NAME = 3;      // ERROR_PATH_NOT_FOUND: no record of that name
constexpr DWORD OVCACHE_ERROR_NO_ID = 4;        // ERROR_TOO_MANY_OPEN_FILES: no record of that ID

enum OVCacheDispId : DISPID {
    DISPID_OVCACHE_INIT = 1,
    DISPID_OVCACHE_ADD = 2,
    DISPID_OVCACHE_AUTODELETE = 3,
    DISPID_OVCACHE_DELETE = 4,
    DISPID_OVCACHE_QUERYFROMID = 5,
    DISPID_OVCACHE_QUERYFROMNAME = 6,
    DISPID_OVCACHE_MODIFY = 7,
    DISPID_OVCACHE_ALLOWAUTODELETEFROMID = 8,
    DISPID_OVCACHE_ALLOWAUTODELETEFROMNAME = 9,
};

struct IOVCache : IDispatch {
    // {7E45A27E-2BFD-11D4-A455-0000B4C23621}
    static constexpr IID kIID = {
        0x7E45A27E, 0x2BFD, 0x11D4, {0xA4, 0x55, 0x00, 0x00, 0xB4, 0xC2, 0x36, 0x21}};
    using Base = IDispatch;

    // Opens the cache file, or creates it (replacing a file that is not a usable cache).
    virtual HRESULT Init(BSTR pwcsCacheName, LONG* pRes) = 0;
    // Files a record under the name (replacing one of the same name) and under the ID.
    virtual HRESULT Add(BSTR pwcsUserName, ULONG nID, VARIANT vData, LONG* pRes) = 0;
    // Removes the records not used for a calendar month, unless marked as not to be deleted.
    virtual HRESULT AutoDelete(LONG* pRes) = 0;
    virtual HRESULT Delete(BSTR pwcsUserName, LONG* pRes) = 0;
    // The record's bytes as a CByteArrayVariant; pvRes is left alone on failure.
    virtual HRESULT QueryFromID(ULONG nID, VARIANT* pvRes) = 0;
    virtual HRESULT QueryFromName(BSTR pwcsName, VARIANT* pvRes) = 0;
    // Replaces the record's bytes; its ID stays.
    virtual HRESULT Modify(BSTR pwcsUserName, VARIANT vData, LONG* pRes) = 0;
    // bAutoDelete 0 exempts the record from AutoDelete.
    virtual HRESULT AllowAutoDeleteFromID(ULONG nID, LONG bAutoDelete, LONG* pRes) = 0;
    virtual HRESULT AllowAutoDeleteFromName(BSTR pwcsName, LONG bAllowDelete, LONG* pRes) = 0;

protected:
    ~IOVCache() = default;
};

// The members as the type library describes them.
struct OVCacheMemberInfo {
    DISPID dispid;
    const char* name;
    const char* helpString;
};
inline constexpr OVCacheMemberInfo kOVCacheMembers[] = {
    {DISPID_OVCACHE_INIT, "Init", "method Init"},
    {DISPID_OVCACHE_ADD, "Add", "method Add"},
    {DISPID_OVCACHE_AUTODELETE, "AutoDelete", "自动删除一个月不访问的数据"},
    {DISPID_OVCACHE_DELETE, "Delete", "删除用户"},
    {DISPID_OVCACHE_QUERYFROMID, "QueryFromID", "通过ID查询"},
    {DISPID_OVCACHE_QUERYFROMNAME, "QueryFromName", "通过用户名查询"},
    {DISPID_OVCACHE_MODIFY, "Modify", "修改用户数据"},
    {DISPID_OVCACHE_ALLOWAUTODELETEFROMID, "AllowAutoDeleteFromID", "通过ID设置自动删除标志"},
    {DISPID_OVCACHE_ALLOWAUTODELETEFROMNAME, "AllowAutoDeleteFromName",
     "通过用户名设置用户自动删除标志"},
};

// The dispatch table of IOVCache, shared by the component and by callers that use DISPIDs.
inline const DispatchTable<IOVCache>& OVCacheDispatch() {
    static const DispatchTable<IOVCache> table{
        DispMethod(DISPID_OVCACHE_INIT, "Init", &IOVCache::Init),
        DispMethod(DISPID_OVCACHE_ADD, "Add", &IOVCache::Add),
        DispMethod(DISPID_OVCACHE_AUTODELETE, "AutoDelete", &IOVCache::AutoDelete),
        DispMethod(DISPID_OVCACHE_DELETE, "Delete", &IOVCache::Delete),
        DispMethod(DISPID_OVCACHE_QUERYFROMID, "QueryFromID", &IOVCache::QueryFromID),
        DispMethod(DISPID_OVCACHE_QUERYFROMNAME, "QueryFromName", &IOVCache::QueryFromName),
        DispMethod(DISPID_OVCACHE_MODIFY, "Modify", &IOVCache::Modify),
        DispMethod(DISPID_OVCACHE_ALLOWAUTODELETEFROMID, "AllowAutoDeleteFromID",
                   &IOVCache::AllowAutoDeleteFromID),
        DispMethod(DISPID_OVCACHE_ALLOWAUTODELETEFROMNAME, "AllowAutoDeleteFromName",
                   &IOVCache::AllowAutoDeleteFromName),
    };
    return table;
}
