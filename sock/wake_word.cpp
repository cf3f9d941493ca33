#include "sock/wake_word.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>

namespace ov::sock {

namespace {

static_assert(std::atomic<uint32_t>::is_always_lock_free &&
                  sizeof(std::atomic<uint32_t>) == sizeof(uint32_t),
              "the futex calls need the atomic to be the plain word");

uint32_t* Address(std::atomic<uint32_t>* word) {
    return reinterpret_cast<uint32_t*>(word);
}

}  // namespace

void WakeWord::Raise(uint32_t bits) {
    // A flag that is up already changes nothing, and its waiter cannot be asleep on it.
    if ((word_.load(std::memory_order_relaxed) & bits) == bits)
        return;
    if (word_.fetch_or(bits, std::memory_order_seq_cst) & kSleeping)
        ::syscall(SYS_futex, Address(&word_), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

void WakeWord::Clear(uint32_t bits) {
    word_.fetch_and(~bits, std::memory_order_acq_rel);
}

uint32_t WakeWord::WaitAny(uint32_t bits) {
    uint32_t word = word_.load(std::memory_order_acquire);
    for (;;) {
        if ((word & bits) != 0)
            break;
        // The mark tells raisers to make the futex call; it is set before the sleep, so a
        // raise in between either finds it or changes the word the futex call compares.
        if ((word & kSleeping) == 0) {
            if (!word_.compare_exchange_weak(word, word | kSleeping, std::memory_order_seq_cst,
                                             std::memory_order_acquire))
                continue;
            word |= kSleeping;
        }
        // Returns at once when the word is no longer what was read; spurious returns and
        // signals just go round the loop again.
        ::syscall(SYS_futex, Address(&word_), FUTEX_WAIT_PRIVATE, word, nullptr, nullptr, 0);
        word = word_.load(std::memory_order_acquire);
    }
    if ((word & kSleeping) != 0)
        word = word_.fetch_and(~kSleeping, std::memory_order_acq_rel) & ~kSleeping;
    return word;
}

}  // namespace ov::sock
