#include "platform/win32/time.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

SYSTEMTIME Make(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
    return SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
}

TEST(Time, KnownDatesConvertBothWays) {
    FILETIME ft;
    SYSTEMTIME epoch = Make(1970, 1, 1);
    ASSERT_TRUE(SystemTimeToFileTime(&epoch, &ft));
    EXPECT_EQ(FileTimeToUInt64(ft), 116444736000000000ull);
    EXPECT_EQ(FileTimeToUnixSeconds(ft), 0);

    SYSTEMTIME first = Make(1601, 1, 1);
    ASSERT_TRUE(SystemTimeToFileTime(&first, &ft));
    EXPECT_EQ(FileTimeToUInt64(ft), 0u);

    SYSTEMTIME in = Make(2001, 1, 15, 13, 45, 30, 250);
    in.wDayOfWeek = 6;  // ignored on the way in
    ASSERT_TRUE(SystemTimeToFileTime(&in, &ft));
    EXPECT_EQ(FileTimeToUnixSeconds(ft), 979566330);
    SYSTEMTIME out{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &out));
    EXPECT_EQ(out.wYear, 2001);
    EXPECT_EQ(out.wMonth, 1);
    EXPECT_EQ(out.wDay, 15);
    EXPECT_EQ(out.wDayOfWeek, 1);  // a Monday
    EXPECT_EQ(out.wHour, 13);
    EXPECT_EQ(out.wMinute, 45);
    EXPECT_EQ(out.wSecond, 30);
    EXPECT_EQ(out.wMilliseconds, 250);

    // Leap days and the ends of centuries.
    for (SYSTEMTIME st : {Make(2000, 2, 29, 23, 59, 59, 999), Make(2024, 2, 29), Make(1900, 3, 1),
                          Make(30827, 12, 31)}) {
        ASSERT_TRUE(SystemTimeToFileTime(&st, &ft)) << st.wYear;
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &out));
        EXPECT_EQ(out.wYear, st.wYear);
        EXPECT_EQ(out.wMonth, st.wMonth);
        EXPECT_EQ(out.wDay, st.wDay);
        EXPECT_EQ(out.wMilliseconds, st.wMilliseconds);
    }
}

TEST(Time, InvalidFieldsAreRefused) {
    const FILETIME untouched = FileTimeFromUInt64(12345);
    for (SYSTEMTIME st : {Make(2001, 2, 31), Make(2001, 2, 29), Make(1900, 2, 29),
                          Make(2001, 13, 1), Make(2001, 0, 1), Make(2001, 4, 31), Make(2001, 1, 0),
                          Make(1600, 12, 31), Make(2001, 1, 1, 24), Make(2001, 1, 1, 0, 60),
                          Make(2001, 1, 1, 0, 0, 60), Make(2001, 1, 1, 0, 0, 0, 1000)}) {
        FILETIME ft = untouched;
        EXPECT_FALSE(SystemTimeToFileTime(&st, &ft))
            << st.wYear << "-" << st.wMonth << "-" << st.wDay << " " << st.wHour;
        EXPECT_EQ(FileTimeToUInt64(ft), 12345u);
    }
    FILETIME too_big = FileTimeFromUInt64(0x8000000000000000ull);
    SYSTEMTIME st;
    EXPECT_FALSE(FileTimeToSystemTime(&too_big, &st));
}

TEST(Time, CompareFileTimeOrders) {
    // The high word decides before the low word.
    const FILETIME a = {0xFFFFFFFF, 1};
    const FILETIME b = {0, 2};
    EXPECT_EQ(CompareFileTime(&a, &b), -1);
    EXPECT_EQ(CompareFileTime(&b, &a), 1);
    EXPECT_EQ(CompareFileTime(&a, &a), 0);
}

TEST(Time, UnixSecondsAndNow) {
    const FILETIME ft = FileTimeFromUnixSeconds(1'000'000'000, 123'456'789);
    EXPECT_EQ(FileTimeToUInt64(ft), 116444736000000000ull + 10'000'000'000'000'000ull + 1234567);
    EXPECT_EQ(FileTimeToUnixSeconds(ft), 1'000'000'000);

    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    EXPECT_GT(FileTimeToUnixSeconds(now), 1'600'000'000);  // after 2020
    SYSTEMTIME st;
    GetSystemTime(&st);
    EXPECT_GE(st.wYear, 2020);
}

TEST(Time, LocalConversionsFollowTheZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "CST-8", 1);  // UTC+8 without daylight saving; needs no zone database
    tzset();

    SYSTEMTIME noon = Make(2001, 1, 15, 12);
    FILETIME utc, local, back;
    ASSERT_TRUE(SystemTimeToFileTime(&noon, &utc));
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
    EXPECT_EQ(FileTimeToUInt64(local) - FileTimeToUInt64(utc), 8ull * 3600 * 10'000'000);
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &back));
    EXPECT_EQ(FileTimeToUInt64(back), FileTimeToUInt64(utc));

    old ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
    tzset();
}

}  // namespace
