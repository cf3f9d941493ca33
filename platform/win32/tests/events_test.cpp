#include "platform/win32/events.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Owns a few events for one test.
struct Events {
    explicit Events(int n) {
        for (int i = 0; i < n; ++i) {
            h.push_back(CreateEvent(TRUE, FALSE));
        }
    }
    ~Events() {
        for (HANDLE e : h) {
            CloseHandle(e);
        }
    }
    DWORD count() const { return static_cast<DWORD>(h.size()); }
    std::vector<HANDLE> h;
};

TEST(Events, ManualResetStaysSetUntilReset) {
    Events ev(1);
    EXPECT_FALSE(IsEventSet(ev.h[0]));
    EXPECT_EQ(WaitForSingleObject(ev.h[0], 0), WAIT_TIMEOUT);
    SetEvent(ev.h[0]);
    EXPECT_EQ(WaitForSingleObject(ev.h[0], 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(ev.h[0], INFINITE), WAIT_OBJECT_0);  // a wait consumes nothing
    ResetEvent(ev.h[0]);
    EXPECT_EQ(WaitForSingleObject(ev.h[0], 0), WAIT_TIMEOUT);

    HANDLE initially_set = CreateEvent(TRUE, TRUE);
    EXPECT_TRUE(IsEventSet(initially_set));
    CloseHandle(initially_set);
    EXPECT_EQ(CreateEvent(FALSE, FALSE), nullptr);  // auto-reset is not offered
}

TEST(Events, BadArgumentsFail) {
    Events ev(1);
    HANDLE with_null[2] = {ev.h[0], nullptr};
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(2, with_null, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(0, ev.h.data(), FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(MAXIMUM_WAIT_OBJECTS + 1, ev.h.data(), FALSE, 0), WAIT_FAILED);
}

TEST(Events, TimeoutIsHonoured) {
    Events ev(2);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForMultipleObjects(ev.count(), ev.h.data(), FALSE, 50), WAIT_TIMEOUT);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(50));
    EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST(Events, WaitAnyReturnsLowestSetIndex) {
    Events ev(4);
    SetEvent(ev.h[3]);
    SetEvent(ev.h[1]);
    EXPECT_EQ(WaitForMultipleObjects(ev.count(), ev.h.data(), FALSE, 0), WAIT_OBJECT_0 + 1);
    ResetEvent(ev.h[1]);
    EXPECT_EQ(WaitForMultipleObjects(ev.count(), ev.h.data(), FALSE, 0), WAIT_OBJECT_0 + 3);
}

TEST(Events, WaitAnyIsReleasedFromAnotherThread) {
    Events ev(3);
    DWORD result = WAIT_FAILED;
    std::thread waiter(
        [&] { result = WaitForMultipleObjects(ev.count(), ev.h.data(), FALSE, INFINITE); });
    SetEvent(ev.h[2]);
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0 + 2);
}

TEST(Events, WaitAllNeedsEveryEventAtOnce) {
    Events ev(3);
    SetEvent(ev.h[0]);
    SetEvent(ev.h[2]);
    EXPECT_EQ(WaitForMultipleObjects(ev.count(), ev.h.data(), TRUE, 30), WAIT_TIMEOUT);

    // Each event is set at some point, but never all together.
    std::atomic<DWORD> result{WAIT_FAILED};
    std::thread waiter(
        [&] { result = WaitForMultipleObjects(ev.count(), ev.h.data(), TRUE, 100); });
    for (int round = 0; round < 50; ++round) {
        ResetEvent(ev.h[round % 3]);
        SetEvent(ev.h[(round + 1) % 3]);
    }
    waiter.join();
    EXPECT_EQ(result, WAIT_TIMEOUT);
}

TEST(Events, WaitAllIsReleasedWhenTheLastIsSet) {
    Events ev(3);
    SetEvent(ev.h[0]);
    SetEvent(ev.h[1]);
    std::atomic<bool> returned{false};
    DWORD result = WAIT_FAILED;
    std::thread waiter([&] {
        result = WaitForMultipleObjects(ev.count(), ev.h.data(), TRUE, INFINITE);
        returned = true;
    });
    // The waiter must still be blocked while one event is clear.
    EXPECT_EQ(WaitForSingleObject(ev.h[2], 20), WAIT_TIMEOUT);
    EXPECT_FALSE(returned);
    SetEvent(ev.h[2]);
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);
}

// Worker loops as the socket threads run them: stop (index 0) wins over pending work.
TEST(Events, ManyWaitersStopTogether) {
    Events ev(2);  // [0] stop, [1] work
    std::vector<std::thread> workers;
    for (int i = 0; i < 8; ++i) {
        workers.emplace_back([&] {
            for (;;) {
                const DWORD r = WaitForMultipleObjects(ev.count(), ev.h.data(), FALSE, INFINITE);
                if (r == WAIT_OBJECT_0) {
                    return;
                }
                ResetEvent(ev.h[1]);
            }
        });
    }
    for (int i = 0; i < 200; ++i) {
        SetEvent(ev.h[1]);
    }
    SetEvent(ev.h[0]);
    for (auto& t : workers) {
        t.join();  // hangs (and ctest times out) if a worker missed the stop
    }
}

}  // namespace
