// A word of flags that one worker thread sleeps on until another thread raises one of them:
// the signalling of the socket's hot path (a packet queued, readiness armed, stop). Raising
// a flag that is already up costs a load, raising one while its thread is awake one atomic
// operation, and waking a sleeping thread one futex call; nothing allocates and no lock is
// taken, so a worker never sleeps on a mutex its waker holds.
//
// The flags are levels, as manual-reset events are: they stay up until cleared. One thread at
// a time may wait on a word; any thread may raise or clear its flags.
#pragma once

#include <atomic>
#include <cstdint>

namespace ov::sock {

class WakeWord {
public:
    // Raises the flags in bits; the waiting thread wakes if it waits for one of them.
    void Raise(uint32_t bits);
    void Clear(uint32_t bits);
    // True while any of bits is up.
    bool IsUp(uint32_t bits) const { return (word_.load(std::memory_order_acquire) & bits) != 0; }
    // Blocks until any of bits is up; returns the flags up at that moment.
    uint32_t WaitAny(uint32_t bits);

    // The waiter's own mark; callers' flags use the other bits.
    static constexpr uint32_t kSleeping = 1u << 31;

private:
    std::atomic<uint32_t> word_{0};
};

}  // namespace ov::sock
