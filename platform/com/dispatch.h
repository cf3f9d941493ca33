// Dispatch without hand-written switch statements.
//
// Implementing IDispatch (a dual interface or an event sink): list the members once,
//
//   const DispatchTable<IWidget>& WidgetDispatch() {
//       static const DispatchTable<IWidget> table{
//           DispMethod(1, "Add", &IWidget::Add),          // HRESULT Add(LONG a, LONG b, LONG* sum)
//           DispPropGet(2, "Name", &IWidget::get_Name),   // HRESULT get_Name(BSTR* name)
//       };
//       return table;
//   }
//
// and derive from DispatchObject, whose Invoke routes each DISPID to its member with the
// arguments converted from the VARIANTs (passed last-first, as dispatch calls pass them).
// For DispMethod / DispPropGet a trailing pointer parameter is the [out, retval] value and is
// returned in the result VARIANT; other pointer parameters are by-reference [out] arguments.
// DispEvent entries have no retval (sink members may return void).
//
// Calling through IDispatch: DispCall(disp, dispid, DISPATCH_METHOD, &result, a, b, ...)
// builds the argument list from C++ values (LONG → VT_I4, SHORT → VT_I2, BSTR → VT_BSTR,
// VARIANT as is, interface pointers, and pointers as by-reference arguments). The values are
// borrowed for the call only.
#pragma once

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/com/bstr.h"
#include "platform/com/comptr.h"
#include "platform/com/object.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"

namespace ov::disp {

template <class P>
constexpr bool kIsInterfacePtr =
    std::is_pointer_v<P>&& std::is_base_of_v<IUnknown, std::remove_pointer_t<P>>;

template <class P>
constexpr bool kIsScalar = std::is_integral_v<P> || std::is_enum_v<P>;

// A pointer parameter that is an [out] slot (a BSTR or an interface pointer is a value).
template <class P>
constexpr bool kIsOutPointer =
    std::is_pointer_v<P> && !kIsInterfacePtr<P> && !std::is_same_v<P, BSTR>;

// The VARTYPE a scalar of C++ type P travels as.
template <class P>
constexpr VARTYPE ScalarVt() {
    using U = std::conditional_t<std::is_enum_v<P>, int32_t, P>;
    if constexpr (std::is_same_v<U, bool>)
        return VT_BOOL;
    else if constexpr (sizeof(U) == 1)
        return std::is_signed_v<U> ? VT_I1 : VT_UI1;
    else if constexpr (sizeof(U) == 2)
        return std::is_signed_v<U> ? VT_I2 : VT_UI2;
    else if constexpr (sizeof(U) == 4)
        return std::is_signed_v<U> ? VT_I4 : VT_UI4;
    else
        return std::is_signed_v<U> ? VT_I8 : VT_UI8;
}

template <class P>
P ScalarFrom(const VARIANT& v) {
    constexpr VARTYPE vt = ScalarVt<P>();
    if constexpr (vt == VT_BOOL)
        return v.boolVal != 0;
    else if constexpr (vt == VT_I1)
        return static_cast<P>(v.cVal);
    else if constexpr (vt == VT_UI1)
        return static_cast<P>(v.bVal);
    else if constexpr (vt == VT_I2)
        return static_cast<P>(v.iVal);
    else if constexpr (vt == VT_UI2)
        return static_cast<P>(v.uiVal);
    else if constexpr (vt == VT_I4)
        return static_cast<P>(v.lVal);
    else if constexpr (vt == VT_UI4)
        return static_cast<P>(v.ulVal);
    else if constexpr (vt == VT_I8)
        return static_cast<P>(v.llVal);
    else
        return static_cast<P>(v.ullVal);
}

// An input argument held for the duration of one call.
template <class P, class = void>
struct InSlot;

template <class P>
struct InSlot<P, std::enable_if_t<kIsScalar<P>>> {
    P value{};
    HRESULT Load(const VARIANT& arg) {
        // An argument of the very type is read as it is, as the conversion would give it.
        if (arg.vt == ScalarVt<P>()) {
            value = ScalarFrom<P>(arg);
            return S_OK;
        }
        Variant tmp;
        HRESULT hr = VariantChangeType(&tmp, &arg, 0, ScalarVt<P>());
        if (FAILED(hr))
            return hr;
        value = ScalarFrom<P>(tmp);
        return S_OK;
    }
    P Get() { return value; }
};

template <>
struct InSlot<BSTR> {
    Variant converted;
    BSTR value = nullptr;
    HRESULT Load(const VARIANT& arg) {
        if (arg.vt == VT_BSTR) {
            value = arg.bstrVal;
        } else if (arg.vt == (VT_BYREF | VT_BSTR)) {
            value = *arg.pbstrVal;
        } else {
            HRESULT hr = VariantChangeType(&converted, &arg, 0, VT_BSTR);
            if (FAILED(hr))
                return hr;
            value = converted.bstrVal;
        }
        return S_OK;
    }
    BSTR Get() { return value; }
};

template <>
struct InSlot<VARIANT> {
    VARIANT value;
    HRESULT Load(const VARIANT& arg) {
        if (arg.vt == (VT_BYREF | VT_VARIANT) && arg.pvarVal != nullptr)
            value = *arg.pvarVal;
        else
            value = arg;
        return S_OK;
    }
    VARIANT Get() { return value; }  // borrowed: the callee does not free it
};

template <class P>
struct InSlot<P, std::enable_if_t<kIsInterfacePtr<P>>> {
    using I = std::remove_pointer_t<P>;
    ComPtr<I> value;
    HRESULT Load(const VARIANT& arg) {
        IUnknown* unk = nullptr;
        if (arg.vt == VT_UNKNOWN || arg.vt == VT_DISPATCH)
            unk = arg.punkVal;
        else if (arg.vt == (VT_BYREF | VT_UNKNOWN) || arg.vt == (VT_BYREF | VT_DISPATCH))
            unk = *arg.ppunkVal;
        else if (arg.vt != VT_EMPTY && arg.vt != VT_NULL)
            return DISP_E_TYPEMISMATCH;
        if (unk == nullptr)
            return S_OK;
        HRESULT hr = unk->QueryInterface(uuidof<I>(), value.ReleaseAndGetVoidAddress());
        return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
    }
    P Get() { return value.Get(); }
};

// The by-reference VARTYPE a pointer parameter expects.
template <class P>
constexpr bool ByRefMatches(VARTYPE vt) {
    if constexpr (kIsScalar<P>) {
        constexpr VARTYPE want = ScalarVt<P>();
        if constexpr (want == VT_I2)
            return vt == VT_I2 || vt == VT_BOOL;  // VARIANT_BOOL is a SHORT
        else if constexpr (want == VT_I4)
            return vt == VT_I4 || vt == VT_INT;
        else
            return vt == want;
    } else if constexpr (std::is_same_v<P, BSTR>) {
        return vt == VT_BSTR;
    } else if constexpr (std::is_same_v<P, VARIANT>) {
        return vt == VT_VARIANT;
    } else if constexpr (kIsInterfacePtr<P>) {
        return vt == VT_UNKNOWN || vt == VT_DISPATCH;
    } else {
        return false;
    }
}

// A by-reference [out] argument: the caller's storage is written directly.
template <class P>
struct OutSlot {
    P* value = nullptr;
    HRESULT Load(const VARIANT& arg) {
        if ((arg.vt & VT_BYREF) == 0 || !ByRefMatches<P>(arg.vt & ~VT_BYREF) ||
            arg.byref == nullptr)
            return DISP_E_TYPEMISMATCH;
        value = static_cast<P*>(arg.byref);
        return S_OK;
    }
    P* Get() { return value; }
};

// The [out, retval] value, moved into the result VARIANT after the call.
template <class P>
struct RetSlot {
    P value{};
    ~RetSlot() { Free(); }
    P* Get() { return &value; }
    void Free() {
        if constexpr (std::is_same_v<P, BSTR>) {
            SysFreeString(value);
            value = nullptr;
        } else if constexpr (std::is_same_v<P, VARIANT>) {
            VariantClear(&value);
        } else if constexpr (kIsInterfacePtr<P>) {
            if (value)
                value->Release();
            value = nullptr;
        }
    }
    void Store(VARIANT* result) {
        if (result == nullptr)
            return;  // Free() in the destructor drops the value
        VariantClear(result);
        if constexpr (std::is_same_v<P, BSTR>) {
            result->vt = VT_BSTR;
            result->bstrVal = std::exchange(value, nullptr);
        } else if constexpr (std::is_same_v<P, VARIANT>) {
            *result = value;
            VariantInit(&value);
        } else if constexpr (kIsInterfacePtr<P>) {
            constexpr bool isDispatch = std::is_base_of_v<IDispatch, std::remove_pointer_t<P>>;
            result->vt = isDispatch ? VT_DISPATCH : VT_UNKNOWN;
            if constexpr (isDispatch)
                result->pdispVal = std::exchange(value, nullptr);
            else
                result->punkVal = std::exchange(value, nullptr);
        } else if constexpr (ScalarVt<P>() == VT_I2) {
            // A 16-bit result of a dual interface is a VARIANT_BOOL flag.
            result->vt = VT_BOOL;
            result->boolVal = static_cast<VARIANT_BOOL>(value);
        } else {
            Variant tmp;
            tmp.vt = VT_I8;
            tmp.llVal = static_cast<LONGLONG>(value);
            VariantChangeType(result, &tmp, 0, ScalarVt<P>());
        }
    }
};

template <class A>
using SlotFor = std::conditional_t<kIsOutPointer<A>, OutSlot<std::remove_pointer_t<A>>,
                                   InSlot<std::decay_t<A>>>;

template <class... A>
struct LastIsPointer : std::false_type {};
template <class A>
struct LastIsPointer<A> : std::bool_constant<kIsOutPointer<A>> {};
template <class A, class B, class... R>
struct LastIsPointer<A, B, R...> : LastIsPointer<B, R...> {};

template <bool HasRetval, class C, class R, class... A, size_t... I>
HRESULT CallWith(C* obj, R (C::*fn)(A...), DISPPARAMS* dp, VARIANT* result, UINT* argErr,
                 std::index_sequence<I...>) {
    constexpr size_t kArgs = sizeof...(A) - (HasRetval ? 1 : 0);
    UINT given = dp ? dp->cArgs : 0;
    if (given != kArgs)
        return DISP_E_BADPARAMCOUNT;
    using Tuple = std::tuple<A...>;
    // Slots of the passed arguments, plus the retval slot where there is one.
    std::tuple<SlotFor<std::tuple_element_t<I, Tuple>>...> argSlots;
    HRESULT hr = S_OK;
    UINT bad = 0;
    // Argument i (declaration order) is rgvarg[cArgs - 1 - i].
    auto load = [&](auto& slot, size_t i) {
        if (FAILED(hr))
            return;
        hr = slot.Load(dp->rgvarg[kArgs - 1 - i]);
        if (FAILED(hr))
            bad = static_cast<UINT>(kArgs - 1 - i);
    };
    (load(std::get<I>(argSlots), I), ...);
    (void)load;  // unused for members without arguments
    if (FAILED(hr)) {
        if (argErr)
            *argErr = bad;
        return hr;
    }
    if constexpr (HasRetval) {
        using RetPtr = std::tuple_element_t<sizeof...(A) - 1, Tuple>;
        RetSlot<std::remove_pointer_t<RetPtr>> ret;
        if constexpr (std::is_void_v<R>) {
            (obj->*fn)(std::get<I>(argSlots).Get()..., ret.Get());
        } else {
            hr = (obj->*fn)(std::get<I>(argSlots).Get()..., ret.Get());
            if (FAILED(hr))
                return hr;
        }
        ret.Store(result);
        return hr;
    } else {
        if (result)
            VariantClear(result);
        if constexpr (std::is_void_v<R>) {
            (obj->*fn)(std::get<I>(argSlots).Get()...);
            return S_OK;
        } else {
            return (obj->*fn)(std::get<I>(argSlots).Get()...);
        }
    }
}

}  // namespace ov::disp

namespace ov::disp {

// One letter per parameter kind, for tools that build calls from text: 'L' a number or
// enumeration, 'S' a BSTR, 'V' a VARIANT, 'U' an interface, 'O' a by-reference out.
template <class P>
constexpr char ParamKind() {
    if constexpr (std::is_same_v<P, BSTR>)
        return 'S';
    else if constexpr (std::is_same_v<P, VARIANT>)
        return 'V';
    else if constexpr (kIsInterfacePtr<P>)
        return 'U';
    else if constexpr (kIsOutPointer<P>)
        return 'O';
    else
        return 'L';
}

template <size_t N, class... A>
std::string ParamKinds() {
    std::string kinds{ParamKind<std::decay_t<A>>()...};
    return kinds.substr(0, N);
}

}  // namespace ov::disp

template <class C>
struct DispEntry {
    DISPID id;
    std::string_view name;
    WORD kinds;  // DISPATCH_METHOD and/or DISPATCH_PROPERTYGET
    std::function<HRESULT(C*, DISPPARAMS*, VARIANT*, UINT*)> call;
    std::string params;  // the kinds of the passed parameters (see ov::disp::ParamKind)
    bool hasRetval = false;
};

template <bool HasRetval, class C, class R, class... A>
DispEntry<C> MakeDispEntry(DISPID id, std::string_view name, WORD kinds, R (C::*fn)(A...)) {
    constexpr size_t kPassed = sizeof...(A) - (HasRetval ? 1 : 0);
    return DispEntry<C>{id,
                        name,
                        kinds,
                        [fn](C* obj, DISPPARAMS* dp, VARIANT* result, UINT* argErr) {
                            return ov::disp::CallWith<HasRetval>(
                                obj, fn, dp, result, argErr, std::make_index_sequence<kPassed>());
                        },
                        ov::disp::ParamKinds<kPassed, A...>(),
                        HasRetval};
}

// A method of a dual interface; a trailing pointer parameter is its [out, retval].
template <class C, class R, class... A>
DispEntry<C> DispMethod(DISPID id, std::string_view name, R (C::*fn)(A...)) {
    return MakeDispEntry<ov::disp::LastIsPointer<A...>::value>(
        id, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, fn);
}

// A read-only property: its one pointer parameter is the value.
template <class C, class R, class A>
DispEntry<C> DispPropGet(DISPID id, std::string_view name, R (C::*fn)(A*)) {
    return MakeDispEntry<true>(id, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, fn);
}

// An event member of a sink: every parameter is passed, nothing is returned.
template <class C, class R, class... A>
DispEntry<C> DispEvent(DISPID id, std::string_view name, R (C::*fn)(A...)) {
    return MakeDispEntry<false>(id, name, DISPATCH_METHOD, fn);
}

// An event member as an interface description lists it: DISPID, name and one letter per
// argument kind (each interface says what its letters mean).
struct DispEventInfo {
    DISPID dispid;
    std::string_view name;
    std::string_view args;
};

template <class C>
class DispatchTable {
public:
    DispatchTable(std::initializer_list<DispEntry<C>> entries) : entries_(entries) {
        std::sort(entries_.begin(), entries_.end(),
                  [](const DispEntry<C>& a, const DispEntry<C>& b) { return a.id < b.id; });
    }

    HRESULT Invoke(C* obj, DISPID id, WORD flags, DISPPARAMS* dp, VARIANT* result,
                   UINT* argErr) const {
        const DispEntry<C>* e = Find(id);
        if (e == nullptr || (e->kinds & flags) == 0)
            return DISP_E_MEMBERNOTFOUND;
        if (dp != nullptr && dp->cNamedArgs != 0)
            return DISP_E_NONAMEDARGS;
        if (dp != nullptr && dp->cArgs != 0 && dp->rgvarg == nullptr)
            return E_INVALIDARG;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        return e->call(obj, dp ? dp : &none, result, argErr);
    }

    // Names match without regard to ASCII case.
    HRESULT GetIDsOfNames(LPCOLESTR* names, UINT count, DISPID* ids) const {
        if (names == nullptr || ids == nullptr)
            return E_POINTER;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            if (i > 0) {  // parameter names are not known
                hr = DISP_E_UNKNOWNNAME;
                continue;
            }
            const DispEntry<C>* e = FindByName(Bstr(names[i]).ToUtf8());
            if (e != nullptr)
                ids[i] = e->id;
            else
                hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }

    // Looks a member up by name (ASCII case ignored).
    const DispEntry<C>* FindByName(std::string_view name) const {
        for (const auto& e : entries_) {
            if (e.name.size() == name.size() &&
                std::equal(name.begin(), name.end(), e.name.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                }))
                return &e;
        }
        return nullptr;
    }

    // Every member, in DISPID order.
    const std::vector<DispEntry<C>>& Entries() const { return entries_; }

    const DispEntry<C>* Find(DISPID id) const {
        auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                                   [](const DispEntry<C>& e, DISPID v) { return e.id < v; });
        return it != entries_.end() && it->id == id ? &*it : nullptr;
    }

private:
    std::vector<DispEntry<C>> entries_;
};

// The two IDispatch members about type information, which no object here offers.
template <class Derived, class... Interfaces>
class NoTypeInfoObject : public ComObject<Derived, Interfaces...> {
public:
    HRESULT GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo == nullptr)
            return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo)
            *ppTInfo = nullptr;
        return E_NOTIMPL;
    }
};

// Implements the four IDispatch members from Derived::DispatchMap(), a static function that
// returns a DispatchTable of any class that Derived converts to.
template <class Derived, class... Interfaces>
class DispatchObject : public NoTypeInfoObject<Derived, Interfaces...> {
public:
    HRESULT GetIDsOfNames(REFIID, LPCOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return Derived::DispatchMap().GetIDsOfNames(names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT* result, EXCEPINFO*,
                   UINT* argErr) override {
        return Derived::DispatchMap().Invoke(static_cast<Derived*>(this), id, flags, dp, result,
                                             argErr);
    }
};

namespace ov::disp {

// Builds one borrowed VARIANTARG from a C++ value for DispCall.
template <class A>
VARIANT ToArg(const A& a) {
    VARIANT v;
    VariantInit(&v);
    using P = std::decay_t<A>;
    if constexpr (std::is_base_of_v<VARIANT, P>) {
        v = static_cast<const VARIANT&>(a);
    } else if constexpr (std::is_same_v<P, BSTR>) {
        v.vt = VT_BSTR;
        v.bstrVal = a;
    } else if constexpr (std::is_same_v<P, Bstr>) {
        v.vt = VT_BSTR;
        v.bstrVal = a.Get();
    } else if constexpr (kIsInterfacePtr<P>) {
        v.vt = std::is_base_of_v<IDispatch, std::remove_pointer_t<P>> ? VT_DISPATCH : VT_UNKNOWN;
        v.punkVal = a;
    } else if constexpr (std::is_pointer_v<P>) {
        using T = std::remove_pointer_t<P>;
        if constexpr (std::is_same_v<T, BSTR>)
            v.vt = VT_BYREF | VT_BSTR;
        else if constexpr (std::is_same_v<T, VARIANT>)
            v.vt = VT_BYREF | VT_VARIANT;
        else if constexpr (kIsInterfacePtr<T>)
            v.vt = VT_BYREF | VT_UNKNOWN;
        else
            v.vt = VT_BYREF | ScalarVt<T>();
        v.byref = const_cast<std::remove_const_t<T>*>(a);
    } else {
        static_assert(kIsScalar<P>, "unsupported dispatch argument type");
        constexpr VARTYPE vt = ScalarVt<P>();
        // The common types are stored directly; the rest go through the conversion.
        if constexpr (vt == VT_I4) {
            v.vt = VT_I4;
            v.lVal = static_cast<LONG>(a);
        } else if constexpr (vt == VT_I2) {
            v.vt = VT_I2;
            v.iVal = static_cast<SHORT>(a);
        } else if constexpr (vt == VT_UI4) {
            v.vt = VT_UI4;
            v.ulVal = static_cast<ULONG>(a);
        } else {
            Variant tmp;
            tmp.vt = VT_I8;
            tmp.llVal = static_cast<LONGLONG>(a);
            VariantChangeType(&v, &tmp, 0, vt);
        }
    }
    return v;
}

}  // namespace ov::disp

// Calls a member through IDispatch::Invoke with the given arguments (declaration order).
template <class... A>
HRESULT DispCall(IDispatch* target, DISPID id, WORD flags, VARIANT* result, const A&... args) {
    if (target == nullptr)
        return E_POINTER;
    std::array<VARIANT, sizeof...(A) + 1> argv{};  // +1 keeps the array non-empty
    size_t n = sizeof...(A);
    size_t i = 0;
    ((argv[n - 1 - i++] = ov::disp::ToArg(args)), ...);
    DISPPARAMS dp{n ? argv.data() : nullptr, nullptr, static_cast<UINT>(n), 0};
    UINT argErr = 0;
    return target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &dp, result, nullptr, &argErr);
}
