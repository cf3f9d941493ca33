#include "server/login_limits.h"

#include <algorithm>

namespace ov::server {

LoginLimits::LoginLimits(const LoginLimitsConfig& config, const Clock& clock)
    : config_(config),
      clock_(clock),
      accounts_(config.maxEntries),
      addresses_(config.maxEntries),
      registrations_(config.maxEntries) {}

int64_t LoginLimits::LockLength(int locks) const {
    int64_t length = config_.firstLockMs;
    for (int i = 0; i < locks && length < config_.maxLockMs; ++i)
        length *= 2;
    return std::min(length, config_.maxLockMs);
}

bool LoginLimits::Locked(const std::string& account, uint32_t ip) {
    int64_t now = clock_.NowMs();
    if (const Counter* a = addresses_.Find(ip); a && now < a->lockedUntilMs)
        return true;
    const Counter* c = accounts_.Find({account, ip});
    return c && now < c->lockedUntilMs;
}

std::optional<LoginLimits::Lock> LoginLimits::Failed(const std::string& account, uint32_t ip) {
    int64_t now = clock_.NowMs();
    std::optional<Lock> started;

    Counter& c = accounts_.Touch({account, ip});
    if (c.lastFailureMs != 0 && now - c.lastFailureMs > config_.forgetAfterMs)
        c = Counter{};
    c.lastFailureMs = now;
    if (++c.failures >= config_.accountFailures) {
        c.lockedUntilMs = now + LockLength(c.locks++);
        c.failures = 0;
        started = Lock{false, c.lockedUntilMs - now};
    }

    Counter& a = addresses_.Touch(ip);
    if (a.lastFailureMs != 0 && now - a.lastFailureMs > config_.forgetAfterMs)
        a = Counter{};
    if (a.failures == 0 || now - a.firstFailureMs > config_.ipWindowMs) {
        a.failures = 0;
        a.firstFailureMs = now;
    }
    a.lastFailureMs = now;
    if (++a.failures >= config_.ipFailures) {
        a.lockedUntilMs = now + LockLength(a.locks++);
        a.failures = 0;
        started = Lock{true, a.lockedUntilMs - now};
    }
    return started;
}

void LoginLimits::Succeeded(const std::string& account, uint32_t ip) {
    accounts_.Erase({account, ip});
}

bool LoginLimits::AllowRegistration(uint32_t ip) {
    const auto& free = config_.unlimitedRegistrations;
    if (std::find(free.begin(), free.end(), ip) != free.end())
        return true;
    int64_t now = clock_.NowMs();
    Window& w = registrations_.Touch(ip);
    if (w.count == 0 || now - w.startMs >= config_.registrationWindowMs) {
        w.count = 0;
        w.startMs = now;
    }
    if (w.count >= config_.registrations)
        return false;
    ++w.count;
    return true;
}

}  // namespace ov::server
