#include "server/hash_pool.h"

#include <chrono>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ov::server {

namespace {

// Hashing takes whatever CPU the messaging leaves: the idle class where allowed, else the
// lowest nice value for this thread alone.
void LowerOwnPriority() {
    sched_param param{};
    param.sched_priority = 0;
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &param) == 0)
        return;
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 19);
}

}  // namespace

size_t HashPool::DefaultWorkers() {
    unsigned cores = std::thread::hardware_concurrency();
    return cores > 1 ? cores - 1 : 1;
}

HashPool::HashPool(size_t workers, size_t capacity, std::function<void()> wake)
    : capacity_(capacity), wake_(std::move(wake)) {
    threads_.reserve(workers);
    for (size_t i = 0; i < workers; ++i)
        threads_.emplace_back([this] { WorkerLoop(); });
}

HashPool::~HashPool() {
    {
        std::lock_guard<std::mutex> lock(jobsMutex_);
        stop_ = true;
        waiting_.clear();
    }
    jobsReady_.notify_all();
    for (auto& t : threads_)
        t.join();
}

bool HashPool::Submit(Work work, Work completion) {
    if (threads_.empty()) {
        work();
        completion();
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(jobsMutex_);
        if (stop_ || waiting_.size() + busy_ >= capacity_)
            return false;
        waiting_.push_back({std::move(work), std::move(completion)});
    }
    jobsReady_.notify_one();
    return true;
}

size_t HashPool::RunCompletions() {
    std::vector<Work> ready;
    {
        std::lock_guard<std::mutex> lock(doneMutex_);
        ready.swap(done_);
    }
    for (auto& c : ready)
        c();
    return ready.size();
}

bool HashPool::Drain(int64_t limitMs) {
    bool finished = true;
    if (!threads_.empty()) {
        std::unique_lock<std::mutex> lock(jobsMutex_);
        finished = jobsDone_.wait_for(lock, std::chrono::milliseconds(limitMs),
                                      [this] { return waiting_.empty() && busy_ == 0; });
    }
    RunCompletions();
    return finished;
}

void HashPool::WorkerLoop() {
    LowerOwnPriority();
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(jobsMutex_);
            jobsReady_.wait(lock, [this] { return stop_ || !waiting_.empty(); });
            if (stop_)
                return;
            job = std::move(waiting_.front());
            waiting_.pop_front();
            ++busy_;
        }
        job.work();
        {
            std::lock_guard<std::mutex> lock(doneMutex_);
            done_.push_back(std::move(job.completion));
        }
        {
            std::lock_guard<std::mutex> lock(jobsMutex_);
            --busy_;
        }
        jobsDone_.notify_all();
        if (wake_)
            wake_();
    }
}

}  // namespace ov::server
