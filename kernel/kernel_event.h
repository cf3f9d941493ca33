// An event of IOVServiceEvents as the kernel builds it, before it is turned into a dispatch
// call: plain values, so that building events needs no COM and can be checked in tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/types.h"

// One argument, in declaration order. Longs and enumerations travel as VT_I4, flags as
// VT_BOOL, and records, record lists and texts as byte-array VARIANTs.
struct EventArg {
    enum class Kind { Long, Bool, Bytes } kind = Kind::Long;
    int32_t value = 0;  // Long and Bool (Bool: VARIANT_TRUE -1 / VARIANT_FALSE 0)
    std::string bytes;  // Bytes: the payload of the byte-array VARIANT (a record, a list of
                        // records back to back, or a text without its zero)

    static EventArg Long(int32_t v) { return EventArg{Kind::Long, v, {}}; }
    static EventArg Bool(bool b) {
        return EventArg{Kind::Bool, b ? VARIANT_TRUE : VARIANT_FALSE, {}};
    }
    static EventArg Bytes(std::string b) { return EventArg{Kind::Bytes, 0, std::move(b)}; }

    bool operator==(const EventArg&) const = default;
};

// One event the kernel raises: its DISPID and its arguments in declaration order.
struct KernelEvent {
    DISPID dispid = 0;
    std::vector<EventArg> args;

    bool operator==(const KernelEvent&) const = default;
};
