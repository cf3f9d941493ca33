// CByteArrayVariant: the form every byte payload takes across component interfaces.
// A VARIANT of type VT_ARRAY|VT_UI1, one dimension, lower bound 0, holding the N data bytes
// followed by one zero byte (N+1 elements). The payload length is the upper bound N.
//
//   CByteArrayVariant packet("abc", 3);    // elements 'a' 'b' 'c' 0, upper bound 3
//   packet.Append(more, moreLength);
//   socket->Send(packet.Variant(), &id);   // passed by value, borrowed for the call
//   CByteArrayVariant got(received);       // anything but a 1-D byte array reads as empty
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/variant.h"

class CByteArrayVariant {
public:
    CByteArrayVariant();  // N = 0
    CByteArrayVariant(const void* data, size_t n);
    explicit CByteArrayVariant(const char* text);  // the bytes before the terminating zero
    explicit CByteArrayVariant(std::string_view bytes)
        : CByteArrayVariant(bytes.data(), bytes.size()) {}
    explicit CByteArrayVariant(const VARIANT& v);  // as operator=(const VARIANT&)
    CByteArrayVariant(const CByteArrayVariant& other);
    CByteArrayVariant(CByteArrayVariant&& other) noexcept;
    CByteArrayVariant& operator=(const CByteArrayVariant& other);
    CByteArrayVariant& operator=(CByteArrayVariant&& other) noexcept;
    ~CByteArrayVariant();

    // Copies the payload of v: a one-dimensional VT_ARRAY|VT_UI1 (also by reference or inside
    // a by-reference VARIANT) gives its upper bound's worth of bytes; anything else is empty.
    CByteArrayVariant& operator=(const VARIANT& v);

    // Sets N, keeping the first min(old N, n) bytes; new bytes are zero and element N is 0.
    // False (and nothing changed) when memory runs out.
    bool Resize(size_t n);
    bool Append(const void* data, size_t n);
    bool Append(std::string_view bytes) { return Append(bytes.data(), bytes.size()); }

    BYTE* Data();
    const BYTE* Data() const;
    size_t Size() const;  // N
    std::string_view View() const { return {reinterpret_cast<const char*>(Data()), Size()}; }
    std::vector<uint8_t> Bytes() const { return {Data(), Data() + Size()}; }

    // The VARIANT itself, to pass by value to a call (the callee borrows it).
    const VARIANT& Variant() const { return var_; }
    operator const VARIANT&() const { return var_; }
    // Hands a copy to an out-parameter the caller will own (dest is cleared first).
    HRESULT CopyTo(VARIANT* dest) const;
    // Hands a new array of the n bytes to an out-parameter the caller will own (dest is
    // cleared first) without an object in between; false, dest empty, when memory runs out.
    static bool GiveCopy(const void* data, size_t n, VARIANT* dest);
    // Hands the VARIANT itself over; this object becomes empty (N = 0).
    void Detach(VARIANT* dest);

private:
    // Replaces var_ with a fresh array of n+1 elements (element n zero); false on failure.
    bool Allocate(size_t n);

    ::Variant var_;
};

// The payload of a byte-array VARIANT (a one-dimensional VT_ARRAY|VT_UI1, also by reference or
// inside a by-reference VARIANT), borrowed from it without a copy; none for anything else.
std::optional<std::string_view> ByteArrayPayload(const VARIANT& v);
