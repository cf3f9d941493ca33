// Base for implementing component objects: reference counting and QueryInterface over a
// list of interfaces (each with its chain of base interfaces).
//
//   class CWidget final : public ComObject<CWidget, IWidget, IConnectionPointContainer> { ... };
//   ComPtr<IWidget> w = MakeComObject<CWidget>();
#pragma once

#include <atomic>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/com/comptr.h"
#include "platform/com/unknown.h"

namespace ov::com_detail {

template <class I>
bool MatchesChain(REFIID riid) {
    if (riid == uuidof<I>())
        return true;
    if constexpr (!std::is_same_v<I, IUnknown>) {
        return MatchesChain<typename I::Base>(riid);
    } else {
        return false;
    }
}

template <class Self, class First, class... Rest>
void* FindInterface(Self* self, REFIID riid) {
    if (riid == IID_IUnknown)
        return static_cast<IUnknown*>(static_cast<First*>(self));
    if (MatchesChain<First>(riid))
        return static_cast<First*>(self);
    if constexpr (sizeof...(Rest) > 0) {
        return FindInterface<Self, Rest...>(self, riid);
    } else {
        return nullptr;
    }
}

}  // namespace ov::com_detail

template <class Derived, class... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        void* p = ov::com_detail::FindInterface<ComObject, Interfaces...>(this, riid);
        if (p == nullptr)
            p = QueryExtraInterface(riid);
        *ppv = p;
        if (p == nullptr)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override {
        ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return left;
    }
    // Adds a reference unless the count has reached zero (the object is being destroyed); for
    // a thread that knows the object only by a pointer its owners may drop at any time, and
    // keeps that pointer valid by other means while it asks.
    bool TryAddRef() {
        ULONG n = refs_.load(std::memory_order_relaxed);
        while (n != 0) {
            if (refs_.compare_exchange_weak(n, n + 1, std::memory_order_relaxed))
                return true;
        }
        return false;
    }

    // The object's own IUnknown (the first interface's).
    IUnknown* GetUnknown() {
        using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
        return static_cast<IUnknown*>(static_cast<First*>(this));
    }

protected:
    virtual ~ComObject() = default;
    // Hook for interfaces that are not base classes (for example tear-offs); null by default.
    virtual void* QueryExtraInterface(REFIID) { return nullptr; }

private:
    std::atomic<ULONG> refs_{0};
};

// Creates an object with one reference held by the returned pointer.
template <class T, class... Args>
ComPtr<T> MakeComObject(Args&&... args) {
    return ComPtr<T>(new T(std::forward<Args>(args)...));
}
