// Protocol time: whole seconds of the calendar clock, and waits on events measured by the same
// clock, so that tests can run retransmission, keep-alive and time-out logic in virtual time.
//
//   std::shared_ptr<ov::Clock> clock = ov::ProcessClock();  // SystemClock() unless a test
//   uint32_t now = clock->Now();                            // installed one
//   clock->Wait(1, &stop, 1000);
#pragma once

#include <cstdint>
#include <memory>

#include "platform/win32/events.h"

namespace ov {

class Clock {
public:
    virtual ~Clock() = default;
    // Whole seconds.
    virtual uint32_t Now() = 0;
    // Waits until one of the events is set (WAIT_OBJECT_0 + its index) or the time-out in
    // milliseconds of this clock passes (WAIT_TIMEOUT); INFINITE waits for an event only.
    virtual DWORD Wait(DWORD count, const HANDLE* handles, DWORD milliseconds) = 0;
};

// time() and real waits.
std::shared_ptr<Clock> SystemClock();

// The clock for components that take their time from the process: the test clock when one is
// installed, else SystemClock(). Components read it when they start (the kernel at Init), so a
// test installs its clock before it starts them, including components it creates through the
// runtime and cannot reach otherwise. Production code never installs one. This library is
// shared, so there is one test clock per process whichever component asks.
std::shared_ptr<Clock> ProcessClock();
// Installs the test clock; nullptr goes back to SystemClock().
void SetProcessTestClock(std::shared_ptr<Clock> clock);

}  // namespace ov
