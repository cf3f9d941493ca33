// Scalar types, status codes and identifiers of the component runtime.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/win32/types.h"

using HRESULT = int32_t;
using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using DISPID = int32_t;
using LCID = DWORD;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
constexpr HRESULT HResult(uint32_t code) {
    return static_cast<HRESULT>(code);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = HResult(0x80004001);
constexpr HRESULT E_NOINTERFACE = HResult(0x80004002);
constexpr HRESULT E_POINTER = HResult(0x80004003);
constexpr HRESULT E_ABORT = HResult(0x80004004);
constexpr HRESULT E_FAIL = HResult(0x80004005);
constexpr HRESULT E_UNEXPECTED = HResult(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = HResult(0x8007000E);
constexpr HRESULT E_INVALIDARG = HResult(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = HResult(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = HResult(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = HResult(0x80040154);
constexpr HRESULT REGDB_E_WRITEREGDB = HResult(0x80040151);
constexpr HRESULT CO_E_NOTINITIALIZED = HResult(0x800401F0);
constexpr HRESULT CO_E_CLASSSTRING = HResult(0x800401F3);
constexpr HRESULT CO_E_DLLNOTFOUND = HResult(0x8004018E);
constexpr HRESULT CO_E_ERRORINDLL = HResult(0x800401F9);
constexpr HRESULT RPC_E_CHANGED_MODE = HResult(0x80010106);
constexpr HRESULT CONNECT_E_NOCONNECTION = HResult(0x80040200);
constexpr HRESULT CONNECT_E_ADVISELIMIT = HResult(0x80040201);
constexpr HRESULT CONNECT_E_CANNOTCONNECT = HResult(0x80040202);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = HResult(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = HResult(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = HResult(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = HResult(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = HResult(0x80020006);
constexpr HRESULT DISP_E_NONAMEDARGS = HResult(0x80020007);
constexpr HRESULT DISP_E_BADVARTYPE = HResult(0x80020008);
constexpr HRESULT DISP_E_EXCEPTION = HResult(0x80020009);
constexpr HRESULT DISP_E_OVERFLOW = HResult(0x8002000A);
constexpr HRESULT DISP_E_BADINDEX = HResult(0x8002000B);
constexpr HRESULT DISP_E_BADPARAMCOUNT = HResult(0x8002000E);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = HResult(0x8002000F);
constexpr HRESULT SELFREG_E_CLASS = HResult(0x80040201);

// Class contexts; all in-process here, kept so call sites read as usual.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_ALL = 0x17;

// Dispatch call kinds and well-known identifiers.
constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return false;
        return true;
    }
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
constexpr IID IID_NULL = GUID_NULL;

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::string GuidToString(const GUID& guid);
// Accepts the braced form in either case; false (and *guid untouched) for anything else.
bool GuidFromString(std::string_view text, GUID* guid);

template <>
struct std::hash<GUID> {
    size_t operator()(const GUID& g) const noexcept {
        uint64_t a = (uint64_t{g.Data1} << 32) | (uint64_t{g.Data2} << 16) | g.Data3;
        uint64_t b = 0;
        for (int i = 0; i < 8; ++i)
            b = (b << 8) | g.Data4[i];
        return std::hash<uint64_t>()(a * 0x9E3779B97F4A7C15ull ^ b);
    }
};

// Interfaces carry their identifier as a static member `kIID`.
template <class I>
constexpr const IID& uuidof() {
    return I::kIID;
}
