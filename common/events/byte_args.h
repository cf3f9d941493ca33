// Byte-array event arguments as std::string_view in typed sink members.
//
// A sink member declared with a std::string_view parameter receives the payload of the
// byte-array VARIANT (its upper bound's worth of bytes, the trailing zero left out), borrowed
// for the call. VT_EMPTY reads as no bytes; any other type is a type mismatch, so an event
// whose arguments do not match the member is refused loudly instead of read as empty.
// Include this before building a DispatchTable with such members.
#pragma once

#include <string_view>

#include "common/byte_array_variant.h"
#include "platform/com/dispatch.h"

namespace ov::disp {

template <>
struct InSlot<std::string_view> {
    std::string_view value;
    HRESULT Load(const VARIANT& arg) {
        if (arg.vt == VT_EMPTY)
            return S_OK;
        std::optional<std::string_view> bytes = ByteArrayPayload(arg);
        if (!bytes)
            return DISP_E_TYPEMISMATCH;
        value = *bytes;
        return S_OK;
    }
    std::string_view Get() { return value; }
};

template <>
constexpr char ParamKind<std::string_view>() {
    return 'V';
}

}  // namespace ov::disp
