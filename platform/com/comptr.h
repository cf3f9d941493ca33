// ComPtr: a reference-holding smart pointer for interfaces.
#pragma once

#include <utility>

#include "platform/com/unknown.h"

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Adds a reference to p.
    ComPtr(T* p) : p_(p) {
        if (p_)
            p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    ComPtr(const ComPtr<U>& o) : ComPtr(static_cast<T*>(o.Get())) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    void Reset() {
        if (T* p = std::exchange(p_, nullptr))
            p->Release();
    }
    // Takes over a reference the caller owns.
    void Attach(T* p) {
        Reset();
        p_ = p;
    }
    static ComPtr Adopt(T* p) {
        ComPtr r;
        r.p_ = p;
        return r;
    }
    T* Detach() { return std::exchange(p_, nullptr); }
    // Releases the current pointer and gives the slot for an out-parameter.
    T** ReleaseAndGetAddressOf() {
        Reset();
        return &p_;
    }
    void** ReleaseAndGetVoidAddress() { return reinterpret_cast<void**>(ReleaseAndGetAddressOf()); }

    // QueryInterface into another smart pointer.
    template <class U>
    HRESULT As(ComPtr<U>* out) const {
        if (out == nullptr)
            return E_POINTER;
        if (p_ == nullptr) {
            out->Reset();
            return E_POINTER;
        }
        return p_->QueryInterface(uuidof<U>(), out->ReleaseAndGetVoidAddress());
    }
    template <class U>
    ComPtr<U> As() const {
        ComPtr<U> out;
        As(&out);
        return out;
    }
    // Hands out an extra reference.
    HRESULT CopyTo(T** out) const {
        if (out == nullptr)
            return E_POINTER;
        *out = p_;
        if (p_)
            p_->AddRef();
        return S_OK;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
    T* p_ = nullptr;
};
