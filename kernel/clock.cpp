#include "kernel/clock.h"

#include <ctime>

namespace ov::kernel {

namespace {
class RealClock final : public KernelClock {
public:
    uint32_t Now() override { return static_cast<uint32_t>(std::time(nullptr)); }
    DWORD Wait(DWORD count, const HANDLE* handles, DWORD milliseconds) override {
        return WaitForMultipleObjects(count, handles, FALSE, milliseconds);
    }
};
}  // namespace

std::shared_ptr<KernelClock> SystemClock() {
    static std::shared_ptr<KernelClock> clock = std::make_shared<RealClock>();
    return clock;
}

}  // namespace ov::kernel
