// The kernel's sense of time. Protocol times are whole seconds of the calendar clock, and the
// worker threads wait through the same interface, so tests can run them in virtual time.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/win32/events.h"

namespace ov::kernel {

class KernelClock {
public:
    virtual ~KernelClock() = default;
    // Whole seconds.
    virtual uint32_t Now() = 0;
    // Waits until one of the events is set (WAIT_OBJECT_0 + its index) or the time-out in
    // milliseconds of this clock passes (WAIT_TIMEOUT); INFINITE waits for an event only.
    virtual DWORD Wait(DWORD count, const HANDLE* handles, DWORD milliseconds) = 0;
};

// time() and real waits.
std::shared_ptr<KernelClock> SystemClock();

}  // namespace ov::kernel
