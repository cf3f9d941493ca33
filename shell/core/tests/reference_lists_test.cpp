// The commdata reference lists: records as the C library's scanf reads them, and the rule
// that all four files make the catalogue.
#include <gtest/gtest.h>

#include <QDir>

#include "shell/core/reference_lists.h"
#include "shell/core/tests/test_files.h"

namespace ov::shell {
namespace {

using testing::CoreTest;
using testing::WriteBytes;

TEST(ReferenceListTest, NumberAndNameRecords) {
    // "18-25" in code page 936 after the number; records split by any white space.
    const QList<ReferenceEntry> list = ParseReferenceList(
        "1 \xd0\xa1\xd3\xda"
        "18\r\n2\t18-25\n\n  -3 \xc6\xe4\xcb\xfb\n4");
    EXPECT_EQ(list,
              (QList<ReferenceEntry>{
                  {1, QStringLiteral("小于18")}, {2, "18-25"}, {-3, QStringLiteral("其他")}}));
    // A number runs into its name as with "%d%s"; a record without a number ends the list.
    EXPECT_EQ(ParseReferenceList("7abc x 8 y"), (QList<ReferenceEntry>{{7, "abc"}}));
    EXPECT_TRUE(ParseReferenceList("").isEmpty());
    EXPECT_EQ(ParseReferenceList("99999999999 big").value(0).code, INT_MAX);
}

TEST(ReferenceListTest, LocationRecordsHaveAHexCodeAndTwoNames) {
    const QList<LocationEntry> list = ParseLocationList(
        "110000 \xb1\xb1\xbe\xa9 \xb6\xab\xb3\xc7\n0x1A2b a b\nFFFFFFFF last one\n120000 odd");
    EXPECT_EQ(list,
              (QList<LocationEntry>{{0x110000, QStringLiteral("北京"), QStringLiteral("东城")},
                                    {0x1A2B, "a", "b"},
                                    {0xFFFFFFFF, "last", "one"}}));
}

class ReferenceListsTest : public CoreTest {};

TEST_F(ReferenceListsTest, LoadedOnlyWithAllFourFiles) {
    const QString dir = DataHome() + "/commdata";
    ASSERT_TRUE(QDir().mkpath(dir));
    WriteBytes(dir + "/location.dat", "1 \xb1\xb1\xbe\xa9 \xb6\xab\xb3\xc7\n");
    WriteBytes(dir + "/agerange.dat", "1 18-25\n");
    WriteBytes(dir + "/language.dat", "1 \xd6\xd0\xce\xc4\n");

    ReferenceLists lists;
    EXPECT_FALSE(lists.Load(dir));
    EXPECT_FALSE(lists.Loaded());
    EXPECT_TRUE(lists.Locations().isEmpty());

    WriteBytes(dir + "/career.dat", "");
    ASSERT_TRUE(lists.Load(dir));
    EXPECT_TRUE(lists.Loaded());
    EXPECT_EQ(ReferenceLists::NameOf(lists.Languages(), 1), QStringLiteral("中文"));
    EXPECT_EQ(ReferenceLists::NameOf(lists.AgeRanges(), 2), "");
    EXPECT_TRUE(lists.Careers().isEmpty());
    EXPECT_EQ(lists.LocationText(1), QStringLiteral("北京 东城"));
    EXPECT_EQ(lists.LocationText(2), QStringLiteral("未知地区"));
}

}  // namespace
}  // namespace ov::shell
