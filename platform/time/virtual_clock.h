// A clock that moves only when told, for tests of retransmission, keep-alive and reply
// time-outs. Waiters see their time-outs expire when Advance passes them; Settle lets a
// test wait until every worker thread has reacted and is blocked again.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "platform/time/clock.h"

namespace ov {

class VirtualClock final : public Clock {
public:
    explicit VirtualClock(uint32_t startSeconds = 1'000'000)
        : nowMs_(uint64_t{startSeconds} * 1000) {}

    uint32_t Now() override;
    // The same time in milliseconds, for timers finer than a second.
    uint64_t NowMs();
    DWORD Wait(DWORD count, const HANDLE* handles, DWORD milliseconds) override;

    // Moves time forward; waiters whose time-out has passed wake up.
    void Advance(uint64_t milliseconds);
    // Advances one second at a time, settling after each step.
    bool AdvanceSeconds(uint32_t seconds, size_t waiters);
    // Waits (in real time, bounded) until `waiters` threads are blocked in Wait, each having
    // seen the current time and none with an event of its own set. False on the real-time
    // bound (a sign the test's count of threads is wrong).
    bool Settle(size_t waiters);

private:
    struct Waiter {
        std::vector<HANDLE> handles;
        uint64_t deadlineMs;  // UINT64_MAX for none
        uint64_t seenGeneration;
    };

    std::mutex mutex_;  // guards nowMs_, generation_ and waiters_
    std::condition_variable changed_;
    uint64_t nowMs_;
    uint64_t generation_ = 0;
    std::vector<Waiter*> waiters_;
};

}  // namespace ov
