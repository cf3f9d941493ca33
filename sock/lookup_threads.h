// The owner of the socket objects' connect and look-up threads. Those threads may wait for
// the resolver for seconds, and an object must be free to go meanwhile, so they belong to
// this one process-wide owner rather than to the object that started them: it joins threads
// that have finished whenever it starts another, and every remaining one when the process
// ends (or the library is unloaded).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace ov::sock {

class LookupThreads {
public:
    static LookupThreads& Instance();

    LookupThreads() = default;
    ~LookupThreads();
    LookupThreads(const LookupThreads&) = delete;
    LookupThreads& operator=(const LookupThreads&) = delete;

    // Runs body on a thread of its own; false when no thread can be started.
    bool Start(std::function<void()> body);
    // Waits until every thread started so far has run its body to the end; false after the
    // time-out.
    bool WaitUntilIdle(std::chrono::milliseconds timeout);

private:
    struct Worker {
        std::thread thread;
        bool finished = false;  // under mutex_: the body has returned
    };
    // Joins the workers whose body has returned; caller holds mutex_ (they take no lock once
    // finished is set, so the joins end at once).
    void JoinFinished();

    std::mutex mutex_;  // guards workers_ and each worker's finished flag
    std::condition_variable finishedChanged_;
    std::list<Worker> workers_;
};

}  // namespace ov::sock
