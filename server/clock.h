// Time as the server reads it: a monotonic clock for timers (retransmission, session expiry)
// and the calendar clock for the time stamps of messages. Tests inject ManualClock so that
// protocol time passes only when they say so.
#pragma once

#include <atomic>
#include <cstdint>

namespace ov::server {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds of a monotonic clock; only differences matter.
    virtual int64_t NowMs() const = 0;
    // Seconds since 1970-01-01 UTC, as carried in message notifications.
    virtual uint32_t WallSeconds() const = 0;
};

class SystemClock final : public Clock {
public:
    int64_t NowMs() const override;
    uint32_t WallSeconds() const override;
};

// A clock that moves only by Advance; readable from any thread.
class ManualClock final : public Clock {
public:
    explicit ManualClock(int64_t startMs = 1'000'000, uint32_t wallSeconds = 1'700'000'000)
        : ms_(startMs), wall0_(wallSeconds), ms0_(startMs) {}
    int64_t NowMs() const override { return ms_.load(); }
    uint32_t WallSeconds() const override {
        return wall0_ + static_cast<uint32_t>((ms_.load() - ms0_) / 1000);
    }
    void Advance(int64_t ms) { ms_ += ms; }

private:
    std::atomic<int64_t> ms_;
    uint32_t wall0_;
    int64_t ms0_;
};

}  // namespace ov::server
