#include "common/byte_array_variant.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

// The array a VARIANT carries when it is a one-dimensional byte array; null otherwise.
const SAFEARRAY* ByteArrayOf(const VARIANT& v) {
    const VARIANT* p = &v;
    if (p->vt == (VT_BYREF | VT_VARIANT)) {
        if (p->pvarVal == nullptr)
            return nullptr;
        p = p->pvarVal;
    }
    const SAFEARRAY* psa = nullptr;
    if (p->vt == (VT_ARRAY | VT_UI1))
        psa = p->parray;
    else if (p->vt == (VT_BYREF | VT_ARRAY | VT_UI1) && p->pparray != nullptr)
        psa = *p->pparray;
    if (psa == nullptr || SafeArrayGetDim(psa) != 1 || SafeArrayGetElemsize(psa) != 1)
        return nullptr;
    return psa;
}

constexpr size_t kMaxPayload = std::numeric_limits<ULONG>::max() - 1;

}  // namespace

CByteArrayVariant::CByteArrayVariant() {
    Allocate(0);
}

CByteArrayVariant::CByteArrayVariant(const void* data, size_t n) {
    if (!Allocate(n)) {
        Allocate(0);  // keep the invariant: there is always an array
        return;
    }
    if (n > 0)
        std::memcpy(Data(), data, n);
}

CByteArrayVariant::CByteArrayVariant(const char* text)
    : CByteArrayVariant(text, text ? std::strlen(text) : 0) {}

CByteArrayVariant::CByteArrayVariant(const VARIANT& v) : CByteArrayVariant() {
    *this = v;
}

CByteArrayVariant::CByteArrayVariant(const CByteArrayVariant& other)
    : CByteArrayVariant(other.Data(), other.Size()) {}

CByteArrayVariant::CByteArrayVariant(CByteArrayVariant&& other) noexcept
    : var_(std::move(other.var_)) {
    other.Allocate(0);
}

CByteArrayVariant& CByteArrayVariant::operator=(const CByteArrayVariant& other) {
    if (this != &other)
        *this = other.var_;
    return *this;
}

CByteArrayVariant& CByteArrayVariant::operator=(CByteArrayVariant&& other) noexcept {
    if (this != &other) {
        var_ = std::move(other.var_);
        other.Allocate(0);
    }
    return *this;
}

CByteArrayVariant::~CByteArrayVariant() = default;

std::optional<std::string_view> ByteArrayPayload(const VARIANT& v) {
    const SAFEARRAY* psa = ByteArrayOf(v);
    if (psa == nullptr)
        return std::nullopt;
    LONG upper = 0;
    SafeArrayGetUBound(psa, 1, &upper);
    // Never trust the bound beyond the elements that exist.
    size_t count = SafeArrayElementCount(psa);
    size_t n = upper <= 0 ? 0 : std::min(static_cast<size_t>(upper), count);
    if (n == 0)
        return std::string_view();
    return std::string_view(static_cast<const char*>(psa->pvData), n);
}

bool CByteArrayVariant::GiveCopy(const void* data, size_t n, VARIANT* dest) {
    VariantClear(dest);
    if (n > kMaxPayload)
        return false;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(n + 1));
    if (psa == nullptr)
        return false;
    if (n > 0)
        std::memcpy(psa->pvData, data, n);
    static_cast<BYTE*>(psa->pvData)[n] = 0;
    dest->vt = VT_ARRAY | VT_UI1;
    dest->parray = psa;
    return true;
}

CByteArrayVariant& CByteArrayVariant::operator=(const VARIANT& v) {
    if (&v == &var_)
        return *this;
    std::string_view payload = ByteArrayPayload(v).value_or(std::string_view());
    // Build the copy first: v may alias our own array.
    CByteArrayVariant copy;
    if (!payload.empty() && copy.Allocate(payload.size()))
        std::memcpy(copy.Data(), payload.data(), payload.size());
    var_ = std::move(copy.var_);
    return *this;
}

bool CByteArrayVariant::Allocate(size_t n) {
    if (n > kMaxPayload)
        return false;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(n + 1));
    if (psa == nullptr)
        return false;
    var_.Clear();
    var_.vt = VT_ARRAY | VT_UI1;
    var_.parray = psa;
    return true;
}

bool CByteArrayVariant::Resize(size_t n) {
    if (n > kMaxPayload)
        return false;
    size_t old = Size();
    SAFEARRAYBOUND bound{static_cast<ULONG>(n + 1), 0};
    if (FAILED(SafeArrayRedim(var_.parray, &bound)))
        return false;
    BYTE* data = Data();
    if (n > old)
        std::memset(data + old, 0, n - old);
    data[n] = 0;
    return true;
}

bool CByteArrayVariant::Append(const void* data, size_t n) {
    if (n == 0)
        return true;
    size_t old = Size();
    if (n > kMaxPayload - old)
        return false;
    // Appending part of ourselves: the block may move when it grows.
    const BYTE* src = static_cast<const BYTE*>(data);
    if (src >= Data() && src <= Data() + old) {
        std::vector<BYTE> copy(src, src + n);
        return Append(copy.data(), n);
    }
    if (!Resize(old + n))
        return false;
    std::memcpy(Data() + old, data, n);
    return true;
}

BYTE* CByteArrayVariant::Data() {
    return static_cast<BYTE*>(var_.parray->pvData);
}

const BYTE* CByteArrayVariant::Data() const {
    return static_cast<const BYTE*>(var_.parray->pvData);
}

size_t CByteArrayVariant::Size() const {
    return var_.parray->rgsabound[0].cElements - 1;
}

HRESULT CByteArrayVariant::CopyTo(VARIANT* dest) const {
    if (dest == nullptr)
        return E_POINTER;
    return VariantCopy(dest, &var_);
}

void CByteArrayVariant::Detach(VARIANT* dest) {
    var_.Detach(dest);
    Allocate(0);
}
