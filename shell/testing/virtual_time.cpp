#include "shell/testing/virtual_time.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <limits>

namespace ov::shell::testing {

namespace {
constexpr uint64_t kMaxStepMs = 1000;
constexpr int kMaxRoundsAtOnce = 1000;
}  // namespace

class VirtualTime::Timer final : public ShellTimer {
public:
    Timer(VirtualTime* owner, std::function<void()> onTimeout)
        : owner_(owner), onTimeout_(std::move(onTimeout)) {
        owner_->timers_.push_back(this);
    }
    ~Timer() override {
        auto& list = owner_->timers_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    void Start(int periodMs) override {
        period_ = static_cast<uint64_t>(std::max(periodMs, 0));
        deadline_ = owner_->clock_->NowMs() + period_;
        active_ = true;
    }
    void Stop() override { active_ = false; }
    bool Active() const override { return active_; }

    bool Due(uint64_t now) const { return active_ && deadline_ <= now; }
    uint64_t Deadline() const { return active_ ? deadline_ : std::numeric_limits<uint64_t>::max(); }
    void Fire(uint64_t now) {
        deadline_ = now + period_;
        // A copy: the handler may destroy this timer.
        std::function<void()> onTimeout = onTimeout_;
        if (onTimeout)
            onTimeout();
    }

private:
    VirtualTime* owner_;
    std::function<void()> onTimeout_;
    uint64_t period_ = 0;
    uint64_t deadline_ = 0;
    bool active_ = false;
};

VirtualTime::VirtualTime() : clock_(std::make_shared<ov::VirtualClock>(1'700'000'000)) {
    ov::SetProcessTestClock(clock_);
}

VirtualTime::~VirtualTime() {
    ov::SetProcessTestClock(nullptr);
}

std::unique_ptr<ShellTimer> VirtualTime::Create(std::function<void()> onTimeout) {
    return std::make_unique<Timer>(this, std::move(onTimeout));
}

SecondsClock VirtualTime::Seconds() const {
    return [clock = clock_] { return static_cast<qint64>(clock->Now()); };
}

void VirtualTime::Settle() {
    if (!clock_->Settle(waiters_))
        ADD_FAILURE() << "the kernel threads did not settle (" << waiters_ << " expected)";
}

void VirtualTime::RunDue() {
    for (int round = 0; round < kMaxRoundsAtOnce; ++round) {
        QCoreApplication::processEvents();
        const uint64_t now = clock_->NowMs();
        Timer* due = nullptr;
        for (Timer* t : timers_)
            if (t->Due(now) && (!due || t->Deadline() < due->Deadline()))
                due = t;
        if (!due) {
            QCoreApplication::processEvents();
            return;
        }
        due->Fire(now);
    }
    ADD_FAILURE() << "timers keep firing without time passing";
}

void VirtualTime::Advance(uint64_t ms) {
    const uint64_t target = clock_->NowMs() + ms;
    RunDue();
    for (uint64_t now = clock_->NowMs(); now < target; now = clock_->NowMs()) {
        uint64_t next = std::min(target, now + kMaxStepMs);
        for (Timer* t : timers_)
            if (t->Active() && t->Deadline() > now)
                next = std::min(next, t->Deadline());
        clock_->Advance(next - now);
        Settle();
        RunDue();
    }
}

bool VirtualTime::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        RunDue();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QTimer::singleShot(2, [] {});  // wakes the wait when nothing else comes
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

}  // namespace ov::shell::testing
