// The core interfaces of the component runtime. Method order is the vtable order callers
// rely on: IUnknown's three, then IDispatch's four, then an interface's own members.
#pragma once

#include "platform/com/types.h"
#include "platform/com/variant.h"

struct ITypeInfo;  // type information is not offered; GetTypeInfo returns E_NOTIMPL

struct DISPPARAMS {
    VARIANTARG* rgvarg;  // arguments in reverse order: rgvarg[0] is the last one
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    void* pfnDeferredFillIn;
    HRESULT scode;
};

struct IUnknown {
    static constexpr IID kIID = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;  // objects end through Release only
};

struct IDispatch : IUnknown {
    static constexpr IID kIID = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    using Base = IUnknown;
    virtual HRESULT GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPCOLESTR* rgszNames, UINT cNames, LCID lcid,
                                  DISPID* rgDispId) = 0;
    virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                           DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                           UINT* puArgErr) = 0;

protected:
    ~IDispatch() = default;
};

struct IClassFactory : IUnknown {
    static constexpr IID kIID = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    using Base = IUnknown;
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

struct IConnectionPointContainer;

struct IConnectionPoint : IUnknown {
    static constexpr IID kIID = {
        0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
    using Base = IUnknown;
    virtual HRESULT GetConnectionInterface(IID* pIID) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
    virtual HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    virtual HRESULT Unadvise(DWORD dwCookie) = 0;
    virtual HRESULT EnumConnections(void** ppEnum) = 0;  // not offered: E_NOTIMPL

protected:
    ~IConnectionPoint() = default;
};

struct IConnectionPointContainer : IUnknown {
    static constexpr IID kIID = {
        0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
    using Base = IUnknown;
    virtual HRESULT EnumConnectionPoints(void** ppEnum) = 0;  // not offered: E_NOTIMPL
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

// Marker: an object that may be called from any thread. A sink that exposes it is called
// directly on the firing thread even when it was advised from a single-threaded apartment.
struct IAgileObject : IUnknown {
    static constexpr IID kIID = {
        0x94EA2B94, 0xE9CC, 0x49E0, {0xC0, 0xFF, 0xEE, 0x64, 0xCA, 0x8F, 0x5B, 0x90}};
    using Base = IUnknown;

protected:
    ~IAgileObject() = default;
};

constexpr IID IID_IUnknown = IUnknown::kIID;
constexpr IID IID_IDispatch = IDispatch::kIID;
constexpr IID IID_IClassFactory = IClassFactory::kIID;
constexpr IID IID_IConnectionPoint = IConnectionPoint::kIID;
constexpr IID IID_IConnectionPointContainer = IConnectionPointContainer::kIID;
constexpr IID IID_IAgileObject = IAgileObject::kIID;
