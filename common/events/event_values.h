// An event of IOVServiceEvents as plain values: its DISPID and its arguments in declaration
// order. The kernel builds events in this form before turning them into dispatch calls, and
// generic sinks (test recorders, the console) receive them in this form.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/types.h"

// One argument. Longs and enumerations travel as VT_I4, flags as VT_BOOL, and records,
// record lists and texts as byte-array VARIANTs.
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

// One event: its DISPID and its arguments in declaration order.
struct KernelEvent {
    DISPID dispid = 0;
    std::vector<EventArg> args;

    bool operator==(const KernelEvent&) const = default;
};
