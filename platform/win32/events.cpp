// One process-wide mutex guards the state of every event. A waiter registers a record with
// its own wake-up flag on each event it waits on, and SetEvent wakes exactly those records.
// Because the states of all events are read under that one mutex, "all set at the same
// moment" for wait-all needs no further machinery.
//
// SetEvent wakes its waiters after letting go of that mutex, so a woken thread does not run
// straight into the mutex its waker still holds; the records are shared, so one stays valid
// for a waker that reaches it after its waiter has returned.
#include "platform/win32/events.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/win32/last_error.h"

namespace {

constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kErrorInvalidParameter = 87;

struct Waiter {
    std::mutex mutex;  // guards woken
    std::condition_variable cv;
    bool woken = false;

    void Wake() {
        {
            std::lock_guard lock(mutex);
            woken = true;
        }
        cv.notify_one();
    }
};

// Guards OVEventObject::signalled and OVEventObject::waiters of every event.
std::mutex g_events_mutex;

}  // namespace

struct OVEventObject {
    bool signalled = false;
    std::vector<std::shared_ptr<Waiter>> waiters;  // threads blocked in a wait on this event
};

namespace {

// The wait result if the wait is satisfied now; caller holds g_events_mutex.
std::optional<DWORD> Satisfied(DWORD count, const HANDLE* handles, bool wait_all) {
    if (wait_all) {
        for (DWORD i = 0; i < count; ++i) {
            if (!handles[i]->signalled) {
                return std::nullopt;
            }
        }
        return WAIT_OBJECT_0;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (handles[i]->signalled) {
            return WAIT_OBJECT_0 + i;
        }
    }
    return std::nullopt;
}

DWORD Wait(DWORD count, const HANDLE* handles, bool wait_all, DWORD timeout_ms) {
    using Clock = std::chrono::steady_clock;
    // Taken before locking so that time spent waiting for the mutex counts against the wait.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);

    std::unique_lock lock(g_events_mutex);
    if (auto done = Satisfied(count, handles, wait_all)) {
        return *done;
    }
    if (timeout_ms == 0) {
        return WAIT_TIMEOUT;
    }

    auto self = std::make_shared<Waiter>();
    for (DWORD i = 0; i < count; ++i) {
        handles[i]->waiters.push_back(self);
    }
    std::optional<DWORD> result;
    for (;;) {
        result = Satisfied(count, handles, wait_all);
        if (result) {
            break;
        }
        // A SetEvent between the check above and the wait below has set woken already.
        lock.unlock();
        bool timed_out = false;
        {
            std::unique_lock own(self->mutex);
            if (timeout_ms == INFINITE) {
                self->cv.wait(own, [&] { return self->woken; });
            } else {
                timed_out = !self->cv.wait_until(own, deadline, [&] { return self->woken; });
            }
            self->woken = false;
        }
        lock.lock();
        if (timed_out) {
            // An event set right at the deadline still counts.
            result = Satisfied(count, handles, wait_all);
            break;
        }
    }
    for (DWORD i = 0; i < count; ++i) {
        auto& list = handles[i]->waiters;
        list.erase(std::remove(list.begin(), list.end(), self), list.end());
    }
    return result.value_or(WAIT_TIMEOUT);
}

}  // namespace

HANDLE CreateEvent(BOOL bManualReset, BOOL bInitialState) {
    if (!bManualReset) {
        SetLastError(kErrorInvalidParameter);
        return nullptr;
    }
    auto* event = new OVEventObject;
    event->signalled = bInitialState != FALSE;
    return event;
}

BOOL SetEvent(HANDLE h) {
    if (h == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return FALSE;
    }
    std::vector<std::shared_ptr<Waiter>> to_wake;
    {
        std::lock_guard lock(g_events_mutex);
        h->signalled = true;
        to_wake = h->waiters;
    }
    for (const auto& waiter : to_wake) {
        waiter->Wake();
    }
    return TRUE;
}

BOOL ResetEvent(HANDLE h) {
    if (h == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return FALSE;
    }
    std::lock_guard lock(g_events_mutex);
    h->signalled = false;
    return TRUE;
}

BOOL CloseHandle(HANDLE h) {
    if (h == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return FALSE;
    }
    {
        // Pairs with the last wait or set on another thread, so deletion happens after them.
        std::lock_guard lock(g_events_mutex);
    }
    delete h;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE h, DWORD dwMilliseconds) {
    return WaitForMultipleObjects(1, &h, FALSE, dwMilliseconds);
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds) {
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr) {
        SetLastError(kErrorInvalidParameter);
        return WAIT_FAILED;
    }
    for (DWORD i = 0; i < nCount; ++i) {
        if (lpHandles[i] == nullptr) {
            SetLastError(kErrorInvalidHandle);
            return WAIT_FAILED;
        }
    }
    return Wait(nCount, lpHandles, bWaitAll != FALSE, dwMilliseconds);
}

bool IsEventSet(HANDLE h) {
    if (h == nullptr) {
        return false;
    }
    std::lock_guard lock(g_events_mutex);
    return h->signalled;
}
