#include "sock/lookup_threads.h"

#include <system_error>

namespace ov::sock {

LookupThreads& LookupThreads::Instance() {
    static LookupThreads instance;
    return instance;
}

LookupThreads::~LookupThreads() {
    std::list<Worker> all;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        all.swap(workers_);
    }
    // A worker still running sets its flag through mutex_ and the list node, both of which
    // outlive the joins below.
    for (Worker& w : all) {
        if (w.thread.joinable())
            w.thread.join();
    }
}

void LookupThreads::JoinFinished() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->finished) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

bool LookupThreads::Start(std::function<void()> body) {
    std::lock_guard<std::mutex> lock(mutex_);
    JoinFinished();
    Worker& worker = workers_.emplace_back();
    try {
        worker.thread = std::thread([this, &worker, body = std::move(body)] {
            body();
            {
                std::lock_guard<std::mutex> done(mutex_);
                worker.finished = true;
            }
            finishedChanged_.notify_all();
        });
    } catch (const std::system_error&) {
        workers_.pop_back();
        return false;
    }
    return true;
}

bool LookupThreads::WaitUntilIdle(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return finishedChanged_.wait_for(lock, timeout, [&] {
        for (const Worker& w : workers_) {
            if (!w.finished)
                return false;
        }
        return true;
    });
}

}  // namespace ov::sock
