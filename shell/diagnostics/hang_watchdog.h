// Watches the GUI thread's heartbeat from a thread of its own. When the beat has not moved for
// the hang time it reports a hang once (again only after the thread has beaten since); when
// the user-hang keys are found held at a poll it reports a user hang once per press. The
// watching starts with the first beat, so a slow start-up is no hang.
//
//   HangWatchdog dog(10s, 250ms, keysHeld, [](bool user) { ... write the report ... });
//   dog.Start();
//   ... the GUI thread: dog.Beat() at least once a second ...
//   dog.Stop();   // joins; also on destruction
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace ov::diagnostics {

class HangWatchdog {
public:
    using Report = std::function<void(bool userTriggered)>;
    HangWatchdog(std::chrono::milliseconds hangAfter, std::chrono::milliseconds pollEvery,
                 std::function<bool()> keysHeld, Report report);
    ~HangWatchdog();
    HangWatchdog(const HangWatchdog&) = delete;
    HangWatchdog& operator=(const HangWatchdog&) = delete;

    void Start();
    void Stop();
    void Beat();

private:
    void Run();
    static int64_t NowMs();

    const std::chrono::milliseconds hangAfter_;
    const std::chrono::milliseconds pollEvery_;
    const std::function<bool()> keysHeld_;
    const Report report_;
    std::atomic<int64_t> lastBeat_{0};  // steady milliseconds; 0 before the first beat
    std::mutex mutex_;                  // guards stop_
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace ov::diagnostics
