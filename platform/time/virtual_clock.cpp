#include "platform/time/virtual_clock.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace ov {

uint32_t VirtualClock::Now() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<uint32_t>(nowMs_ / 1000);
}

uint64_t VirtualClock::NowMs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return nowMs_;
}

DWORD VirtualClock::Wait(DWORD count, const HANDLE* handles, DWORD milliseconds) {
    Waiter self{std::vector<HANDLE>(handles, handles + count), 0, 0};
    std::unique_lock<std::mutex> lock(mutex_);
    self.deadlineMs =
        milliseconds == INFINITE ? std::numeric_limits<uint64_t>::max() : nowMs_ + milliseconds;
    waiters_.push_back(&self);
    DWORD result = WAIT_TIMEOUT;
    for (;;) {
        self.seenGeneration = generation_;
        // Events are polled: they belong to the platform layer and cannot wake this
        // condition variable. A short real-time slice keeps the tests quick.
        DWORD r = WaitForMultipleObjects(count, handles, FALSE, 0);
        if (r != WAIT_TIMEOUT) {
            result = r;
            break;
        }
        if (nowMs_ >= self.deadlineMs) {
            result = WAIT_TIMEOUT;
            break;
        }
        changed_.notify_all();  // Settle may be waiting for this waiter to show up
        changed_.wait_for(lock, std::chrono::milliseconds(1));
    }
    waiters_.erase(std::find(waiters_.begin(), waiters_.end(), &self));
    changed_.notify_all();
    return result;
}

void VirtualClock::Advance(uint64_t milliseconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    nowMs_ += milliseconds;
    ++generation_;
    changed_.notify_all();
}

bool VirtualClock::Settle(size_t waiters) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        bool settled = waiters_.size() == waiters;
        for (Waiter* w : waiters_) {
            if (!settled)
                break;
            if (w->seenGeneration != generation_ || nowMs_ >= w->deadlineMs ||
                WaitForMultipleObjects(static_cast<DWORD>(w->handles.size()), w->handles.data(),
                                       FALSE, 0) != WAIT_TIMEOUT)
                settled = false;
        }
        if (settled)
            return true;
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout)
            return false;
    }
}

bool VirtualClock::AdvanceSeconds(uint32_t seconds, size_t waiters) {
    for (uint32_t i = 0; i < seconds; ++i) {
        Advance(1000);
        if (!Settle(waiters))
            return false;
    }
    return true;
}

}  // namespace ov
