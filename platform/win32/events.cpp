// One process-wide mutex guards the state of every event. A waiter registers a record with
// its own condition variable on each event it waits on, and SetEvent wakes exactly those
// records. Because the states of all events are read under that one mutex, "all set at the
// same moment" for wait-all needs no further machinery.
#include "platform/win32/events.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/win32/last_error.h"

namespace {

constexpr DWORD kErrorInvalidHandle = 6;
constexpr DWORD kErrorInvalidParameter = 87;

struct Waiter {
    std::condition_variable wake;
};

// Guards OVEventObject::signalled and OVEventObject::waiters of every event.
std::mutex g_events_mutex;

}  // namespace

struct OVEventObject {
    bool signalled = false;
    std::vector<Waiter*> waiters;  // threads blocked in a wait that includes this event
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

    Waiter self;
    for (DWORD i = 0; i < count; ++i) {
        handles[i]->waiters.push_back(&self);
    }
    std::optional<DWORD> result;
    for (;;) {
        result = Satisfied(count, handles, wait_all);
        if (result) {
            break;
        }
        if (timeout_ms == INFINITE) {
            self.wake.wait(lock);
        } else if (self.wake.wait_until(lock, deadline) == std::cv_status::timeout) {
            // An event set right at the deadline still counts.
            result = Satisfied(count, handles, wait_all);
            break;
        }
    }
    for (DWORD i = 0; i < count; ++i) {
        auto& list = handles[i]->waiters;
        list.erase(std::remove(list.begin(), list.end(), &self), list.end());
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
    std::lock_guard lock(g_events_mutex);
    h->signalled = true;
    // Notified under the mutex: a waiter's record lives on its stack and is gone as soon as
    // it can re-acquire the mutex and return.
    for (Waiter* waiter : h->waiters) {
        waiter->wake.notify_one();
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
