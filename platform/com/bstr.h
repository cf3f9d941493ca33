// BSTR: a length-prefixed UTF-16 string with a trailing zero. A null BSTR is a valid value
// distinct from the empty string; SysStringLen(nullptr) is 0.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/types.h"

BSTR SysAllocString(const OLECHAR* text);                  // null in, null out
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);  // text may be null: zero-filled
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

// Owning wrapper. Conversions to and from UTF-8 and code page 936 go through platform/text.
class Bstr {
public:
    Bstr() = default;  // null
    explicit Bstr(std::u16string_view text);
    explicit Bstr(const OLECHAR* text) : p_(SysAllocString(text)) {}
    Bstr(const Bstr& other)
        : p_(other.p_ ? SysAllocStringLen(other.p_, other.Length()) : nullptr) {}
    Bstr(Bstr&& other) noexcept : p_(other.Detach()) {}
    Bstr& operator=(Bstr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Bstr() { SysFreeString(p_); }

    static Bstr FromUtf8(std::string_view utf8);
    static Bstr FromCp936(std::string_view bytes);
    static Bstr Empty() { return Bstr(std::u16string_view()); }

    BSTR Get() const { return p_; }
    operator BSTR() const { return p_; }
    bool IsNull() const { return p_ == nullptr; }
    UINT Length() const { return SysStringLen(p_); }
    std::u16string_view View() const {
        return p_ ? std::u16string_view(p_, Length()) : std::u16string_view();
    }
    std::string ToUtf8() const;
    std::string ToCp936() const;

    // Takes ownership of an allocated BSTR / gives it up.
    void Attach(BSTR p) {
        SysFreeString(p_);
        p_ = p;
    }
    BSTR Detach() {
        BSTR p = p_;
        p_ = nullptr;
        return p;
    }
    // Frees the current string and returns the slot for an out-parameter.
    BSTR* Out() {
        Attach(nullptr);
        return &p_;
    }

private:
    BSTR p_ = nullptr;
};

// Convenience for call sites and tests that hold UTF-8 text.
inline std::string BstrToUtf8(BSTR text) {
    return Bstr(text).ToUtf8();
}
