#include "platform/win32/last_error.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "platform/win32/critical_section.h"

namespace {

TEST(LastError, IsKeptPerThread) {
    SetLastError(5);
    DWORD seen_by_other = 1234;
    std::thread other([&] {
        seen_by_other = GetLastError();  // a fresh thread starts clear
        SetLastError(87);
    });
    other.join();
    EXPECT_EQ(seen_by_other, 0u);
    EXPECT_EQ(GetLastError(), 5u);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
    CriticalSection cs;
    CriticalSectionLock outer(cs);
    {
        std::lock_guard inner(cs);  // the owner may enter again
        bool other_entered = true;
        std::thread other([&] {
            other_entered = cs.TryEnter();
            if (other_entered) {
                cs.Leave();
            }
        });
        other.join();
        EXPECT_FALSE(other_entered);
    }
}

}  // namespace
