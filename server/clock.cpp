#include "server/clock.h"

#include <chrono>
#include <ctime>

namespace ov::server {

int64_t SystemClock::NowMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

uint32_t SystemClock::WallSeconds() const {
    return static_cast<uint32_t>(std::time(nullptr));
}

}  // namespace ov::server
