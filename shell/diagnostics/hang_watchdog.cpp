#include "shell/diagnostics/hang_watchdog.h"

namespace ov::diagnostics {

HangWatchdog::HangWatchdog(std::chrono::milliseconds hangAfter, std::chrono::milliseconds pollEvery,
                           std::function<bool()> keysHeld, Report report)
    : hangAfter_(hangAfter),
      pollEvery_(pollEvery),
      keysHeld_(std::move(keysHeld)),
      report_(std::move(report)) {}

HangWatchdog::~HangWatchdog() {
    Stop();
}

void HangWatchdog::Start() {
    if (thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stop_ = false;
    }
    thread_ = std::thread([this] { Run(); });
}

void HangWatchdog::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void HangWatchdog::Beat() {
    lastBeat_.store(NowMs());
}

int64_t HangWatchdog::NowMs() {
    // Never 0, which means "no beat yet".
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
               .count() +
           1;
}

void HangWatchdog::Run() {
    bool keysWereHeld = false;
    int64_t reportedBeat = 0;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (wake_.wait_for(lock, pollEvery_, [this] { return stop_; }))
                return;
        }
        const bool held = keysHeld_ && keysHeld_();
        if (held && !keysWereHeld)
            report_(true);
        keysWereHeld = held;
        const int64_t beat = lastBeat_.load();
        if (beat != 0 && beat != reportedBeat && NowMs() - beat >= hangAfter_.count()) {
            reportedBeat = beat;
            report_(false);
        }
    }
}

}  // namespace ov::diagnostics
