// Ageing: the one-month threshold, and AutoDelete over records whose last use the tests move
// back through the storage layer.
#include <gtest/gtest.h>

#include "cache/cache_records.h"
#include "cache/tests/cache_test_support.h"

namespace {

SYSTEMTIME Date(WORD y, WORD m, WORD d, WORD hh = 10, WORD mm = 20, WORD ss = 30) {
    SYSTEMTIME t{};
    t.wYear = y;
    t.wMonth = m;
    t.wDay = d;
    t.wHour = hh;
    t.wMinute = mm;
    t.wSecond = ss;
    t.wMilliseconds = 400;
    return t;
}

void ExpectDate(const SYSTEMTIME& t, WORD y, WORD m, WORD d) {
    EXPECT_EQ(t.wYear, y);
    EXPECT_EQ(t.wMonth, m);
    EXPECT_EQ(t.wDay, d);
    EXPECT_EQ(t.wHour, 10);  // the time of day stays
    EXPECT_EQ(t.wMinute, 20);
    EXPECT_EQ(t.wSecond, 30);
    EXPECT_EQ(t.wMilliseconds, 400);
    FILETIME ft;
    EXPECT_TRUE(SystemTimeToFileTime(&t, &ft)) << "not a valid date";
}

}  // namespace

TEST(CacheThresholdTest, OneMonthBackKeepsDayAndTimeAndClampsToTheMonthsEnd) {
    using ov::cache::OneMonthBefore;
    ExpectDate(OneMonthBefore(Date(2001, 1, 15)), 2000, 12, 15);
    ExpectDate(OneMonthBefore(Date(2001, 3, 1)), 2001, 2, 1);
    ExpectDate(OneMonthBefore(Date(2001, 7, 31)), 2001, 6, 30);
    // 31 March has no day in February: the threshold is February's last day.
    ExpectDate(OneMonthBefore(Date(2001, 3, 31)), 2001, 2, 28);
    ExpectDate(OneMonthBefore(Date(2004, 3, 30)), 2004, 2, 29);
    ExpectDate(OneMonthBefore(Date(2100, 3, 29)), 2100, 2, 28);  // not a leap year
    ExpectDate(OneMonthBefore(Date(2000, 3, 31)), 2000, 2, 29);  // a leap year
    ExpectDate(OneMonthBefore(Date(2001, 12, 31)), 2001, 11, 30);
}

TEST_F(CacheTest, AutoDeleteRemovesRecordsUnusedForAMonthUnlessExempt) {
    const std::string path = File("cache.dat");
    ASSERT_EQ(Init(path), 1);
    ASSERT_EQ(Add("old", 1, B("o")), 1);
    ASSERT_EQ(Add("kept", 2, B("k")), 1);
    ASSERT_EQ(Add("recent", 3, B("r")), 1);
    ASSERT_EQ(Add("allowed", 4, B("a")), 1);
    ASSERT_EQ(AllowByName("kept", 0), 1);
    ASSERT_EQ(AllowById(4, 1), 1);  // explicitly deletable
    cache_.Reset();
    for (const char16_t* name : {u"old", u"kept", u"allowed"})
        SetLastUsed(path, name, DaysAgo(62));
    SetLastUsed(path, u"recent", DaysAgo(20));

    cache_ = NewCache();
    ASSERT_EQ(Init(path), 1);
    EXPECT_EQ(AutoDelete(), 1);
    EXPECT_EQ(hr_, S_OK);
    EXPECT_EQ(ByName("old"), None());
    EXPECT_EQ(ById(1), None());
    EXPECT_EQ(ByName("allowed"), None());
    EXPECT_EQ(ByName("kept"), B("k"));
    EXPECT_EQ(ByName("recent"), B("r"));
    cache_.Reset();

    ComPtr<IStorage> root = OpenFile(path, STGM_READWRITE | STGM_SHARE_EXCLUSIVE);
    EXPECT_EQ(ElementNames(Child(root.Get(), u"UserIDTable").Get()),
              (std::vector<std::u16string>{u"0000000002", u"0000000003"}));
}

TEST_F(CacheTest, QueriesModifyAndAddCountAsUse) {
    const std::string path = File("cache.dat");
    ASSERT_EQ(Init(path), 1);
    for (const char* name : {"byname", "byid", "modified", "readded", "empty", "untouched"})
        ASSERT_EQ(Add(name, static_cast<ULONG>(std::string(name).size()) * 10, B(name)), 1);
    ASSERT_EQ(Modify("empty", {}), 1);
    cache_.Reset();
    for (const char16_t* name :
         {u"byname", u"byid", u"modified", u"readded", u"empty", u"untouched"})
        SetLastUsed(path, name, DaysAgo(90));

    cache_ = NewCache();
    ASSERT_EQ(Init(path), 1);
    EXPECT_EQ(ByName("byname"), B("byname"));
    EXPECT_EQ(ById(40), B("byid"));
    EXPECT_EQ(ByName("empty"), std::vector<uint8_t>{});  // no byte to rewrite, still used
    ASSERT_EQ(Modify("modified", B("m")), 1);
    ASSERT_EQ(Add("readded", 70, B("again")), 1);
    ASSERT_EQ(AutoDelete(), 1);
    EXPECT_EQ(ByName("untouched"), None());
    for (const char* name : {"byname", "byid", "modified", "readded", "empty"})
        EXPECT_NE(ByName(name), None()) << name;
}
