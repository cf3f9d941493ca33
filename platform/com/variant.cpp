#include "platform/com/variant.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "platform/com/bstr.h"
#include "platform/com/unknown.h"

namespace {

constexpr USHORT FADF_HAVEVARTYPE = 0x0080;

// Element size of the array element types we support; 0 for unsupported ones.
ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
            return 8;
        case VT_BSTR:
            return sizeof(BSTR);
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return sizeof(IUnknown*);
        case VT_VARIANT:
            return sizeof(VARIANT);
        default:
            return 0;
    }
}

SAFEARRAY* AllocHeader(UINT cDims) {
    size_t bytes = sizeof(SAFEARRAY) + (cDims > 1 ? (cDims - 1) * sizeof(SAFEARRAYBOUND) : 0);
    auto* psa = static_cast<SAFEARRAY*>(std::calloc(1, bytes));
    return psa;
}

// Frees what the elements own (strings, references, nested variants).
void ClearElements(SAFEARRAY* psa) {
    size_t n = SafeArrayElementCount(psa);
    switch (psa->vt) {
        case VT_BSTR: {
            auto* p = static_cast<BSTR*>(psa->pvData);
            for (size_t i = 0; i < n; ++i)
                SysFreeString(p[i]);
            break;
        }
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            auto* p = static_cast<IUnknown**>(psa->pvData);
            for (size_t i = 0; i < n; ++i)
                if (p[i])
                    p[i]->Release();
            break;
        }
        case VT_VARIANT: {
            auto* p = static_cast<VARIANT*>(psa->pvData);
            for (size_t i = 0; i < n; ++i)
                VariantClear(&p[i]);
            break;
        }
        default:
            break;
    }
}

bool ToInt64(const VARIANT& v, int64_t* out) {
    switch (v.vt) {
        case VT_EMPTY:
            *out = 0;
            return true;
        case VT_I1:
            *out = v.cVal;
            return true;
        case VT_UI1:
            *out = v.bVal;
            return true;
        case VT_I2:
            *out = v.iVal;
            return true;
        case VT_BOOL:
            *out = v.boolVal;
            return true;
        case VT_UI2:
            *out = v.uiVal;
            return true;
        case VT_I4:
        case VT_INT:
        case VT_ERROR:
            *out = v.lVal;
            return true;
        case VT_UI4:
        case VT_UINT:
            *out = v.ulVal;
            return true;
        case VT_I8:
            *out = v.llVal;
            return true;
        case VT_UI8:
            if (v.ullVal > static_cast<ULONGLONG>(std::numeric_limits<int64_t>::max()))
                return false;
            *out = static_cast<int64_t>(v.ullVal);
            return true;
        case VT_BSTR: {
            std::string s = Bstr(v.bstrVal).ToUtf8();
            size_t b = s.find_first_not_of(' ');
            size_t e = s.find_last_not_of(' ');
            if (b == std::string::npos)
                return false;
            auto r = std::from_chars(s.data() + b, s.data() + e + 1, *out);
            return r.ec == std::errc() && r.ptr == s.data() + e + 1;
        }
        default:
            return false;
    }
}

template <class T>
bool InRange(int64_t x) {
    return x >= static_cast<int64_t>(std::numeric_limits<T>::min()) &&
           x <= static_cast<int64_t>(std::numeric_limits<T>::max());
}

}  // namespace

void VariantInit(VARIANT* v) {
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (v == nullptr)
        return E_INVALIDARG;
    if ((v->vt & VT_BYREF) == 0) {
        if (v->vt & VT_ARRAY) {
            SafeArrayDestroy(v->parray);
        } else {
            switch (v->vt) {
                case VT_BSTR:
                    SysFreeString(v->bstrVal);
                    break;
                case VT_UNKNOWN:
                case VT_DISPATCH:
                    if (v->punkVal)
                        v->punkVal->Release();
                    break;
                default:
                    break;
            }
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (dest == nullptr || src == nullptr)
        return E_INVALIDARG;
    if (dest == src)
        return S_OK;
    VARIANT tmp;
    VariantInit(&tmp);
    tmp = *src;
    if ((src->vt & VT_BYREF) == 0) {
        if (src->vt & VT_ARRAY) {
            tmp.parray = nullptr;
            if (src->parray != nullptr) {
                HRESULT hr = SafeArrayCopy(src->parray, &tmp.parray);
                if (FAILED(hr))
                    return hr;
            }
        } else if (src->vt == VT_BSTR) {
            tmp.bstrVal = src->bstrVal ? SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal))
                                       : nullptr;
            if (src->bstrVal && !tmp.bstrVal)
                return E_OUTOFMEMORY;
        } else if (src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) {
            if (tmp.punkVal)
                tmp.punkVal->AddRef();
        }
    }
    VariantClear(dest);
    *dest = tmp;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
    if (dest == nullptr || src == nullptr)
        return E_INVALIDARG;
    if ((src->vt & VT_BYREF) == 0)
        return VariantCopy(dest, src);
    if (src->byref == nullptr)
        return E_INVALIDARG;
    VARTYPE vt = src->vt & ~VT_BYREF;
    VARIANT value;
    VariantInit(&value);
    if (vt & VT_ARRAY) {
        value.vt = vt;
        value.parray = *src->pparray;
    } else {
        switch (vt) {
            case VT_VARIANT:
                return VariantCopyInd(dest, src->pvarVal);
            case VT_I1:
            case VT_UI1:
                value.bVal = *src->pbVal;
                break;
            case VT_I2:
            case VT_UI2:
            case VT_BOOL:
                value.iVal = *src->piVal;
                break;
            case VT_I4:
            case VT_UI4:
            case VT_INT:
            case VT_UINT:
            case VT_ERROR:
                value.lVal = *src->plVal;
                break;
            case VT_I8:
            case VT_UI8:
            case VT_R8:
                std::memcpy(&value.llVal, src->byref, 8);
                break;
            case VT_BSTR:
                value.bstrVal = *src->pbstrVal;
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                value.punkVal = *src->ppunkVal;
                break;
            default:
                return DISP_E_BADVARTYPE;
        }
        value.vt = vt;
    }
    // value borrows the referenced data; VariantCopy duplicates it.
    return VariantCopy(dest, &value);
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT, VARTYPE vt) {
    if (dest == nullptr || src == nullptr)
        return E_INVALIDARG;
    Variant value;
    HRESULT hr = VariantCopyInd(&value, src);
    if (FAILED(hr))
        return hr;
    if (value.vt == vt)
        return VariantCopy(dest, &value);
    if ((value.vt & VT_ARRAY) || (vt & (VT_ARRAY | VT_BYREF)))
        return DISP_E_TYPEMISMATCH;

    VARIANT out;
    VariantInit(&out);
    if (vt == VT_BSTR) {
        int64_t n;
        if (value.vt == VT_BOOL) {
            out.bstrVal = Bstr::FromUtf8(value.boolVal ? "True" : "False").Detach();
        } else if (ToInt64(value, &n)) {
            out.bstrVal = Bstr::FromUtf8(std::to_string(n)).Detach();
        } else {
            return DISP_E_TYPEMISMATCH;
        }
        out.vt = VT_BSTR;
        VariantClear(dest);
        *dest = out;
        return S_OK;
    }
    int64_t n;
    if (!ToInt64(value, &n))
        return DISP_E_TYPEMISMATCH;
    switch (vt) {
        case VT_I1:
            if (!InRange<signed char>(n))
                return DISP_E_OVERFLOW;
            out.cVal = static_cast<signed char>(n);
            break;
        case VT_UI1:
            if (!InRange<BYTE>(n))
                return DISP_E_OVERFLOW;
            out.bVal = static_cast<BYTE>(n);
            break;
        case VT_I2:
            if (!InRange<SHORT>(n))
                return DISP_E_OVERFLOW;
            out.iVal = static_cast<SHORT>(n);
            break;
        case VT_UI2:
            if (!InRange<USHORT>(n))
                return DISP_E_OVERFLOW;
            out.uiVal = static_cast<USHORT>(n);
            break;
        case VT_BOOL:
            out.boolVal = n != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case VT_I4:
        case VT_INT:
            if (!InRange<LONG>(n))
                return DISP_E_OVERFLOW;
            out.lVal = static_cast<LONG>(n);
            break;
        case VT_UI4:
        case VT_UINT:
            if (!InRange<ULONG>(n))
                return DISP_E_OVERFLOW;
            out.ulVal = static_cast<ULONG>(n);
            break;
        case VT_I8:
            out.llVal = n;
            break;
        case VT_UI8:
            if (n < 0)
                return DISP_E_OVERFLOW;
            out.ullVal = static_cast<ULONGLONG>(n);
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    out.vt = vt;
    VariantClear(dest);
    *dest = out;
    return S_OK;
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound) {
    ULONG size = ElementSize(vt);
    if (size == 0 || cDims == 0 || cDims > 64 || rgsabound == nullptr)
        return nullptr;
    size_t count = 1;
    for (UINT i = 0; i < cDims; ++i) {
        if (rgsabound[i].cElements != 0 &&
            count > std::numeric_limits<uint32_t>::max() / rgsabound[i].cElements)
            return nullptr;
        count *= rgsabound[i].cElements;
    }
    if (count > std::numeric_limits<uint32_t>::max() / size)
        return nullptr;
    SAFEARRAY* psa = AllocHeader(cDims);
    if (psa == nullptr)
        return nullptr;
    psa->cDims = static_cast<USHORT>(cDims);
    psa->fFeatures = FADF_HAVEVARTYPE;
    psa->cbElements = size;
    psa->vt = vt;
    for (UINT i = 0; i < cDims; ++i)
        psa->rgsabound[i] = rgsabound[i];
    // One byte at least, so that pvData of an empty array is still a valid pointer.
    psa->pvData = std::calloc(count == 0 ? 1 : count, size);
    if (psa->pvData == nullptr) {
        std::free(psa);
        return nullptr;
    }
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (psa == nullptr)
        return S_OK;
    ClearElements(psa);
    std::free(psa->pvData);
    std::free(psa);
    return S_OK;
}

UINT SafeArrayGetDim(const SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(const SAFEARRAY* psa) {
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetVartype(const SAFEARRAY* psa, VARTYPE* vt) {
    if (psa == nullptr || vt == nullptr)
        return E_INVALIDARG;
    *vt = psa->vt;
    return S_OK;
}

HRESULT SafeArrayGetLBound(const SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (psa == nullptr || plLbound == nullptr)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[nDim - 1].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(const SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (psa == nullptr || plUbound == nullptr)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = psa->rgsabound[nDim - 1];
    *plUbound = static_cast<LONG>(int64_t{b.lLbound} + int64_t{b.cElements} - 1);
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (psa == nullptr || ppvData == nullptr)
        return E_INVALIDARG;
    ++psa->cLocks;
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    if (psa == nullptr)
        return E_INVALIDARG;
    if (psa->cLocks == 0)
        return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

size_t SafeArrayElementCount(const SAFEARRAY* psa) {
    if (psa == nullptr)
        return 0;
    size_t n = 1;
    for (UINT i = 0; i < psa->cDims; ++i)
        n *= psa->rgsabound[i].cElements;
    return n;
}

HRESULT SafeArrayCopy(const SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (ppsaOut == nullptr)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (psa == nullptr)
        return S_OK;
    SAFEARRAY* copy = SafeArrayCreate(psa->vt, psa->cDims, psa->rgsabound);
    if (copy == nullptr)
        return E_OUTOFMEMORY;
    size_t n = SafeArrayElementCount(psa);
    switch (psa->vt) {
        case VT_BSTR: {
            auto* from = static_cast<BSTR*>(psa->pvData);
            auto* to = static_cast<BSTR*>(copy->pvData);
            for (size_t i = 0; i < n; ++i)
                to[i] = from[i] ? SysAllocStringLen(from[i], SysStringLen(from[i])) : nullptr;
            break;
        }
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            auto* from = static_cast<IUnknown**>(psa->pvData);
            auto* to = static_cast<IUnknown**>(copy->pvData);
            for (size_t i = 0; i < n; ++i) {
                to[i] = from[i];
                if (to[i])
                    to[i]->AddRef();
            }
            break;
        }
        case VT_VARIANT: {
            auto* from = static_cast<VARIANT*>(psa->pvData);
            auto* to = static_cast<VARIANT*>(copy->pvData);
            for (size_t i = 0; i < n; ++i)
                VariantCopy(&to[i], &from[i]);
            break;
        }
        default:
            if (n > 0)
                std::memcpy(copy->pvData, psa->pvData, n * psa->cbElements);
            break;
    }
    *ppsaOut = copy;
    return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, const SAFEARRAYBOUND* psaboundNew) {
    if (psa == nullptr || psaboundNew == nullptr)
        return E_INVALIDARG;
    if (psa->cLocks != 0)
        return E_UNEXPECTED;
    size_t inner = 1;  // elements per step of the last dimension
    for (UINT i = 0; i + 1 < psa->cDims; ++i)
        inner *= psa->rgsabound[i].cElements;
    size_t oldCount = SafeArrayElementCount(psa);
    size_t newCount = inner * psaboundNew->cElements;
    if (newCount > std::numeric_limits<uint32_t>::max() / psa->cbElements)
        return E_OUTOFMEMORY;
    if (newCount < oldCount && (psa->vt == VT_BSTR || psa->vt == VT_VARIANT ||
                                psa->vt == VT_UNKNOWN || psa->vt == VT_DISPATCH)) {
        // Free what the dropped elements own before the block shrinks.
        SAFEARRAY tail = *psa;
        tail.cDims = 1;
        tail.rgsabound[0].cElements = static_cast<ULONG>(oldCount - newCount);
        tail.pvData = static_cast<char*>(psa->pvData) + newCount * psa->cbElements;
        ClearElements(&tail);
    }
    void* data = std::realloc(psa->pvData, (newCount == 0 ? 1 : newCount) * psa->cbElements);
    if (data == nullptr)
        return E_OUTOFMEMORY;
    if (newCount > oldCount)
        std::memset(static_cast<char*>(data) + oldCount * psa->cbElements, 0,
                    (newCount - oldCount) * psa->cbElements);
    psa->pvData = data;
    psa->rgsabound[psa->cDims - 1] = *psaboundNew;
    return S_OK;
}

Variant Variant::Long(LONG value) {
    Variant v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

Variant Variant::Short(SHORT value) {
    Variant v;
    v.vt = VT_I2;
    v.iVal = value;
    return v;
}

Variant Variant::Bool(bool value) {
    Variant v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::UInt(ULONG value) {
    Variant v;
    v.vt = VT_UI4;
    v.ulVal = value;
    return v;
}

Variant Variant::String(std::u16string_view text) {
    Variant v;
    v.vt = VT_BSTR;
    v.bstrVal = Bstr(text).Detach();
    return v;
}

Variant Variant::NullString() {
    Variant v;
    v.vt = VT_BSTR;
    v.bstrVal = nullptr;
    return v;
}

Variant Variant::Unknown(IUnknown* p) {
    Variant v;
    v.vt = VT_UNKNOWN;
    v.punkVal = p;
    if (p)
        p->AddRef();
    return v;
}

Variant Variant::Bytes(const std::vector<uint8_t>& bytes) {
    Variant v;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (psa == nullptr)
        return v;
    if (!bytes.empty())
        std::memcpy(psa->pvData, bytes.data(), bytes.size());
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = psa;
    return v;
}
