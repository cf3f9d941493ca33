// A few low-priority threads for the slow work of passwords (hashing, verifying), so the
// server's loop keeps answering while they run. Work runs on a worker; its completion is
// queued for the owner's thread, which runs it in RunCompletions (the pool calls wake so the
// owner knows). With no workers everything runs at once on the caller's thread.
//
//   HashPool pool(1, 256, [&] { server.Wake(); });
//   auto result = std::make_shared<bool>();
//   if (!pool.Submit([=] { *result = Slow(); }, [=] { Answer(*result); }))
//       Busy();                       // the queue is full: nothing was queued
//   ...
//   pool.RunCompletions();            // on the owner's thread, after a wake
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace ov::server {

class HashPool {
public:
    using Work = std::function<void()>;
    // workers: 0 runs work and completion inline in Submit. capacity: jobs waiting or
    // running at once. wake: called from a worker after it has queued a completion.
    HashPool(size_t workers, size_t capacity, std::function<void()> wake);
    ~HashPool();  // drops waiting jobs, lets running ones finish, joins
    HashPool(const HashPool&) = delete;
    HashPool& operator=(const HashPool&) = delete;

    // False, with nothing queued, when capacity jobs are waiting or running already.
    bool Submit(Work work, Work completion);
    // Runs the completions of finished jobs in the order the jobs finished; returns how many.
    size_t RunCompletions();
    // Waits, at most limitMs, until every job has finished, then runs the completions (on the
    // owner's thread: at the end, so that work already taken is not lost). True when none
    // was left unfinished.
    bool Drain(int64_t limitMs);
    size_t Workers() const { return threads_.size(); }

    // One less than the cores, at least one.
    static size_t DefaultWorkers();

private:
    struct Job {
        Work work;
        Work completion;
    };
    void WorkerLoop();

    const size_t capacity_;
    const std::function<void()> wake_;

    std::mutex jobsMutex_;  // guards waiting_, busy_ and stop_
    std::condition_variable jobsReady_;
    std::condition_variable jobsDone_;  // a worker finished a job
    std::deque<Job> waiting_;
    size_t busy_ = 0;  // jobs taken by a worker whose completion is not yet queued
    bool stop_ = false;

    std::mutex doneMutex_;  // guards done_
    std::vector<Work> done_;

    std::vector<std::thread> threads_;  // last: started once everything above exists
};

}  // namespace ov::server
