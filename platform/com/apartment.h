// Apartments. A thread joins the single-threaded apartment (its own; calls for its objects
// are posted to it and run on it) or the process's free one (objects called from any thread).
//
// A single-threaded apartment runs posted tasks in posting order, either through its own queue
// (pumped by PumpPending / PumpUntil, used by tests and console programs) or through a
// dispatcher that hands them to another loop (the GUI's event loop), which must run them on
// the apartment's thread in the order given.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/com/types.h"

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

class Apartment {
public:
    using Task = std::function<void()>;
    using Dispatcher = std::function<void(Task)>;

    explicit Apartment(bool singleThreaded);
    ~Apartment();

    // The calling thread's apartment; null when it has not joined one.
    static std::shared_ptr<Apartment> Current();

    bool IsSingleThreaded() const { return singleThreaded_; }
    std::thread::id Thread() const { return thread_; }
    bool IsCurrentThread() const { return std::this_thread::get_id() == thread_; }

    // Hands a task to the apartment's thread; thread-safe and never waits for the task.
    // Tasks posted after Close are dropped.
    void Post(Task task);
    // Routes later posts to another loop; an empty dispatcher restores the built-in queue.
    void SetDispatcher(Dispatcher dispatcher);

    // Built-in queue, to be called on the apartment's thread: runs what is queued now and
    // returns how many tasks ran.
    size_t PumpPending();
    // Runs tasks as they arrive until done() holds or the time-out passes; returns done().
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    // Stops accepting tasks and drops those not yet run.
    void Close();

private:
    const bool singleThreaded_;
    const std::thread::id thread_;
    mutable std::mutex mutex_;  // guards queue_, dispatcher_, closed_
    std::condition_variable posted_;
    std::deque<Task> queue_;
    Dispatcher dispatcher_;
    bool closed_ = false;
};

// Joins the calling thread to an apartment. S_OK on the first call, S_FALSE when the thread
// is already in an apartment of the same kind (each such call needs a CoUninitialize), and
// RPC_E_CHANGED_MODE when it is in the other kind.
HRESULT CoInitializeEx(void* reserved, DWORD coinit);
// Leaves the apartment after the last matching CoInitializeEx; a single-threaded apartment
// is closed then.
void CoUninitialize();
