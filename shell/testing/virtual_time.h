// Virtual time for tests of the shell: the timers of the shell's logic and the kernel's worker
// threads run on one ov::VirtualClock (installed as the process's test clock, so kernels
// created through the runtime use it), and time moves only when the test says so.
//
//   VirtualTime time;                       // before any kernel's Init
//   ... start clients ...
//   time.SetWaiters(3 * clients);           // the kernels' worker threads
//   time.Advance(35'000);                   // timers fire, kernels retransmit and give up
//   time.RunUntil([&] { return done; });    // real time, for datagrams on loopback
//
// Between steps the Qt event loop runs (the apartment's pump, posted commands, queued
// signals), so every consequence of a step has happened before the next one.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/time/virtual_clock.h"
#include "shell/core/clock.h"
#include "shell/core/desktop/timers.h"

namespace ov::shell::testing {

class VirtualTime final : public Timers {
public:
    VirtualTime();
    ~VirtualTime() override;

    std::unique_ptr<ShellTimer> Create(std::function<void()> onTimeout) override;
    // Seconds since 1970 of the virtual clock.
    SecondsClock Seconds() const;
    const std::shared_ptr<ov::VirtualClock>& Clock() const { return clock_; }

    // The number of kernel worker threads that wait on the clock (3 per initialised kernel).
    void SetWaiters(size_t n) { waiters_ = n; }

    // Moves time forward by ms, at most a second at a time and stopping at every timer's
    // deadline; after each step the kernel threads settle and the event loop runs.
    void Advance(uint64_t ms);
    // Runs the event loop and the timers due now, until nothing more happens at once.
    void RunDue();
    // Runs the event loop in real time (bounded) until done(): for replies over loopback.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    class Timer;
    friend class Timer;

    void Settle();

    std::shared_ptr<ov::VirtualClock> clock_;
    size_t waiters_ = 0;
    std::vector<Timer*> timers_;  // live timers; GUI thread only
};

}  // namespace ov::shell::testing
