// Apartments. A thread joins the single-threaded apartment (its own; calls for its objects
// are posted to it and run on it) or the process's free one (objects called from any thread).
//
// A single-threaded apartment keeps the tasks posted to it in its own queue, under its own
// lock, and runs them on its thread in posting order, always. Someone has to pump that queue
// on the apartment's thread: tests and console programs call PumpPending / PumpUntil; a GUI
// installs a doorbell, which the apartment rings (from the posting thread) when tasks wait
// and no ring is outstanding, and which must make the GUI loop call PumpPending on the
// apartment's thread. The doorbell carries no task, so no task ever crosses threads inside
// the GUI toolkit and the order is the queue's by construction.
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
    // Called on a posting thread, never with the apartment's lock held; must not run tasks.
    using Doorbell = std::function<void()>;

    explicit Apartment(bool singleThreaded);
    ~Apartment();

    // The calling thread's apartment; null when it has not joined one.
    static std::shared_ptr<Apartment> Current();

    bool IsSingleThreaded() const { return singleThreaded_; }
    std::thread::id Thread() const { return thread_; }
    bool IsCurrentThread() const { return std::this_thread::get_id() == thread_; }

    // Queues a task for the apartment's thread; thread-safe and never waits for the task.
    // Tasks posted after Close are dropped.
    void Post(Task task);
    // Installs (or, when empty, removes) the doorbell and rings it at once when tasks wait.
    // Waits for rings of the old doorbell still in progress on other threads, so that once it
    // returns the old one is never called again. Not to be called from inside a doorbell.
    void SetDoorbell(Doorbell doorbell);

    // To be called on the apartment's thread: runs the tasks queued now, one at a time and in
    // order, and returns how many ran. Tasks may pump again (a nested loop): every task still
    // runs once, in posting order.
    size_t PumpPending();
    // Runs tasks as they arrive until done() holds or the time-out passes; returns done().
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    // Stops accepting tasks and drops those not yet run; the doorbell is removed.
    void Close();

private:
    // Takes the next task; false when the queue is empty.
    bool TakeNext(Task* task);
    // Rings the doorbell outside the lock when one is given, counting the ring in flight.
    void Ring(std::shared_ptr<const Doorbell> doorbell);

    const bool singleThreaded_;
    const std::thread::id thread_;
    mutable std::mutex mutex_;        // guards queue_, doorbell_, ringing_, ringsInFlight_, closed_
    std::condition_variable posted_;  // a task was queued (PumpUntil waits for it)
    std::condition_variable rang_;    // a ring in flight ended (SetDoorbell waits for it)
    std::deque<Task> queue_;
    std::shared_ptr<const Doorbell> doorbell_;
    bool ringing_ = false;  // rung, and no pump has found the queue empty since
    int ringsInFlight_ = 0;
    bool closed_ = false;
};

// Joins the calling thread to an apartment. S_OK on the first call, S_FALSE when the thread
// is already in an apartment of the same kind (each such call needs a CoUninitialize), and
// RPC_E_CHANGED_MODE when it is in the other kind.
HRESULT CoInitializeEx(void* reserved, DWORD coinit);
// Leaves the apartment after the last matching CoInitializeEx; a single-threaded apartment
// is closed then.
void CoUninitialize();
