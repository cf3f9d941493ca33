// VARIANT and SAFEARRAY: the self-describing values of dispatch calls. Only the types this
// system passes are supported; others are refused with DISP_E_BADVARTYPE.
#pragma once

#include <vector>

#include "platform/com/types.h"

struct IUnknown;
struct IDispatch;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

// Bounds are kept in dimension order (rgsabound[0] is dimension 1) in a block that follows
// the header; use the SafeArray* functions rather than reading them directly.
struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    VARTYPE vt;
    SAFEARRAYBOUND rgsabound[1];
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        BYTE bVal;
        SHORT iVal;
        USHORT uiVal;
        signed char cVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        ULONG* pulVal;
        VARIANT_BOOL* pboolVal;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
    };
};
using VARIANTARG = VARIANT;

void VariantInit(VARIANT* v);
// Frees what the VARIANT owns (string, array, interface reference) and makes it VT_EMPTY.
HRESULT VariantClear(VARIANT* v);
// Deep copy: strings and arrays are duplicated, interfaces get a reference. By-reference
// values are copied as references (the target is not duplicated).
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Like VariantCopy but a by-reference source is dereferenced into a value.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);
// Converts between the integer types, VT_BOOL and VT_BSTR (decimal text). Dereferences a
// by-reference source. DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW when it cannot.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
UINT SafeArrayGetDim(const SAFEARRAY* psa);
UINT SafeArrayGetElemsize(const SAFEARRAY* psa);
HRESULT SafeArrayGetVartype(const SAFEARRAY* psa, VARTYPE* vt);
// nDim counts from 1.
HRESULT SafeArrayGetLBound(const SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(const SAFEARRAY* psa, UINT nDim, LONG* plUbound);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
HRESULT SafeArrayCopy(const SAFEARRAY* psa, SAFEARRAY** ppsaOut);
// Changes the element count of the last dimension (the only one for vectors), keeping the
// leading elements; new elements are zero.
HRESULT SafeArrayRedim(SAFEARRAY* psa, const SAFEARRAYBOUND* psaboundNew);
// Total number of elements over all dimensions.
size_t SafeArrayElementCount(const SAFEARRAY* psa);

// Owning VARIANT with a few convenient constructors. Adds no data, so an array of Variant
// can be passed where an array of VARIANT is expected.
class Variant : public VARIANT {
public:
    Variant() { VariantInit(this); }
    Variant(const VARIANT& other) {
        VariantInit(this);
        VariantCopy(this, &other);
    }
    Variant(const Variant& other) : Variant(static_cast<const VARIANT&>(other)) {}
    Variant(Variant&& other) noexcept {
        *static_cast<VARIANT*>(this) = other;
        VariantInit(&other);
    }
    Variant& operator=(const Variant& other) {
        if (this != &other)
            VariantCopy(this, &other);
        return *this;
    }
    Variant& operator=(Variant&& other) noexcept {
        if (this != &other) {
            VariantClear(this);
            *static_cast<VARIANT*>(this) = other;
            VariantInit(&other);
        }
        return *this;
    }
    ~Variant() { VariantClear(this); }

    static Variant Long(LONG value);
    static Variant Short(SHORT value);
    static Variant Bool(bool value);
    static Variant UInt(ULONG value);
    static Variant String(std::u16string_view text);          // VT_BSTR
    static Variant NullString();                              // VT_BSTR holding a null BSTR
    static Variant Unknown(IUnknown* p);                      // adds a reference
    static Variant Bytes(const std::vector<uint8_t>& bytes);  // plain vector, no trailing zero

    // Takes a VARIANT the caller owns; the source becomes VT_EMPTY.
    void Attach(VARIANT* src) {
        VariantClear(this);
        *static_cast<VARIANT*>(this) = *src;
        VariantInit(src);
    }
    void Detach(VARIANT* dest) {
        *dest = *this;
        VariantInit(this);
    }
    void Clear() { VariantClear(this); }
};

static_assert(sizeof(Variant) == sizeof(VARIANT));
