#include "platform/time/clock.h"

#include <ctime>
#include <mutex>

namespace ov {

namespace {
class RealClock final : public Clock {
public:
    uint32_t Now() override { return static_cast<uint32_t>(std::time(nullptr)); }
    DWORD Wait(DWORD count, const HANDLE* handles, DWORD milliseconds) override {
        return WaitForMultipleObjects(count, handles, FALSE, milliseconds);
    }
};

std::mutex g_testClockMutex;  // guards g_testClock
std::shared_ptr<Clock> g_testClock;
}  // namespace

std::shared_ptr<Clock> SystemClock() {
    static std::shared_ptr<Clock> clock = std::make_shared<RealClock>();
    return clock;
}

std::shared_ptr<Clock> ProcessClock() {
    {
        std::lock_guard<std::mutex> lock(g_testClockMutex);
        if (g_testClock)
            return g_testClock;
    }
    return SystemClock();
}

void SetProcessTestClock(std::shared_ptr<Clock> clock) {
    std::lock_guard<std::mutex> lock(g_testClockMutex);
    g_testClock = std::move(clock);
}

}  // namespace ov
