// Names from the peer never leave the save folder; names sent to it fit the field whole.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/text/cp936.h"
#include "transfer/data_budget.h"
#include "transfer/file_trans_records.h"
#include "transfer/transfer_names.h"

namespace ov::transfer {
namespace {

TEST(SafeSaveName, KeepsOnlyTheLastComponent) {
    const std::pair<std::string, std::string> cases[] = {
        {"report.doc", "report.doc"},
        {"../x", "x"},
        {"..\\..\\x", "x"},
        {"/etc/passwd", "passwd"},
        {"C:\\x", "x"},
        {"a/../../b", "b"},
        {"\\\\server\\share\\f.txt", "f.txt"},
        {"dir/..\\.\\y", "y"},
        {"...", "..."},  // not a parent step, an ordinary (if odd) name
        {"..x", "..x"},
    };
    for (const auto& [wire, expected] : cases) {
        SCOPED_TRACE(wire);
        const SaveName name = SafeSaveName(wire);
        ASSERT_TRUE(name.ok());
        EXPECT_EQ(name.name, expected);
    }
}

TEST(SafeSaveName, RefusesWhatNamesNoFileInTheFolder) {
    const std::pair<std::string, NameRefusal> cases[] = {
        {"", NameRefusal::kEmpty},
        {"dir/", NameRefusal::kEmpty},
        {"a\\", NameRefusal::kEmpty},
        {"/", NameRefusal::kEmpty},
        {".", NameRefusal::kDotName},
        {"..", NameRefusal::kDotName},
        {"x/..", NameRefusal::kDotName},
        {"x\\.", NameRefusal::kDotName},
        {"a\nb.txt", NameRefusal::kControlCharacter},
        {"..\x01", NameRefusal::kControlCharacter},
        {"x\x1b[2J", NameRefusal::kControlCharacter},
        {"del\x7f", NameRefusal::kControlCharacter},
        {"tab\there", NameRefusal::kControlCharacter},
    };
    for (const auto& [wire, refusal] : cases) {
        SCOPED_TRACE(wire);
        const SaveName name = SafeSaveName(wire);
        EXPECT_EQ(name.refusal, refusal);
        EXPECT_TRUE(name.name.empty());
    }
}

TEST(SafeSaveName, DecodesBeforeSplitting) {
    // 0xB1 0x5C is one character whose second byte equals '\': it is not a separator.
    const std::string wire = "\xb1\x5c.txt";
    const SaveName name = SafeSaveName(wire);
    ASSERT_TRUE(name.ok());
    EXPECT_EQ(name.name, Cp936ToUtf8(wire));
    EXPECT_EQ(name.name.find('\\'), std::string::npos);

    const SaveName chinese = SafeSaveName(Utf8ToCp936("目录\\文件.txt"));
    ASSERT_TRUE(chinese.ok());
    EXPECT_EQ(chinese.name, "文件.txt");
}

TEST(WireName, ShortNamesPassAsCp936) {
    EXPECT_EQ(WireName("a.txt"), "a.txt");
    EXPECT_EQ(WireName("文件.txt"), Utf8ToCp936("文件.txt"));
    const std::string exact(39, 'a');
    EXPECT_EQ(WireName(exact), exact);
}

// Every long name comes out at most 39 bytes, as whole characters, and fits an info reply.
TEST(WireName, LongNamesAreCutAtWholeCharactersKeepingTheExtension) {
    // 19 two-byte characters + ".txt" = 42 bytes: 17 characters (34 bytes) + ".txt" = 38.
    std::string nineteen;
    for (int i = 0; i < 19; ++i)
        nineteen += "文";
    const std::string cut = WireName(nineteen + ".txt");
    EXPECT_EQ(cut, Utf8ToCp936(nineteen.substr(0, 17 * 3) + ".txt"));

    // Odd budget: "a" + 20 characters + ".txt" = 45 bytes; 35 bytes remain for the stem, which
    // must stop before the half character at byte 35: "a" + 17 characters.
    std::string twenty;
    for (int i = 0; i < 20; ++i)
        twenty += "件";
    EXPECT_EQ(WireName("a" + twenty + ".txt"),
              Utf8ToCp936("a" + twenty.substr(0, 17 * 3) + ".txt"));

    // An extension too long to keep with a stem: a plain cut, still at a whole character.
    const std::string long_ext = "x." + twenty;  // 2 + 40 bytes
    EXPECT_EQ(WireName(long_ext), Utf8ToCp936("x." + twenty.substr(0, 18 * 3)));

    // No extension; a leading dot is not one.
    EXPECT_EQ(WireName(std::string(50, 'b')), std::string(39, 'b'));
    EXPECT_EQ(WireName("." + std::string(50, 'c')), "." + std::string(38, 'c'));

    for (const std::string& name : {nineteen + ".txt", "a" + twenty + ".txt", long_ext,
                                    twenty + twenty, "a" + twenty + twenty}) {
        SCOPED_TRACE(name);
        const std::string wire = WireName(name);
        EXPECT_LE(wire.size(), kMaxWireNameBytes);
        // Whole characters: decoding yields no replacement character.
        EXPECT_EQ(Cp936ToUtf8(wire).find("\xEF\xBF\xBD"), std::string::npos);
        EXPECT_TRUE(EncodeInfoReply(wire, 0));
    }
}

TEST(DataBudget, WritesOnlyTheAnnouncedBytes) {
    // Exact fit, short block, final block exactly at the size.
    DataBudget b = SplitReceivedData(10000, 0, 4096);
    EXPECT_EQ(b.to_write, 4096u);
    EXPECT_FALSE(b.complete);
    EXPECT_FALSE(b.overrun);
    b = SplitReceivedData(10000, 8192, 1808);
    EXPECT_EQ(b.to_write, 1808u);
    EXPECT_TRUE(b.complete);
    EXPECT_FALSE(b.overrun);

    // The peer sends beyond the size: only the remainder is written, and it is an overrun.
    b = SplitReceivedData(10000, 8192, 4096);
    EXPECT_EQ(b.to_write, 1808u);
    EXPECT_TRUE(b.complete);
    EXPECT_TRUE(b.overrun);
    b = SplitReceivedData(10000, 10000, 1);
    EXPECT_EQ(b.to_write, 0u);
    EXPECT_TRUE(b.overrun);

    // An empty file is complete at once; an empty read changes nothing.
    b = SplitReceivedData(0, 0, 0);
    EXPECT_TRUE(b.complete);
    EXPECT_FALSE(b.overrun);
    b = SplitReceivedData(5, 2, 0);
    EXPECT_EQ(b.to_write, 0u);
    EXPECT_FALSE(b.complete);

    // The largest size does not wrap.
    b = SplitReceivedData(UINT32_MAX, UINT32_MAX - 1, 4096);
    EXPECT_EQ(b.to_write, 1u);
    EXPECT_TRUE(b.complete);
    EXPECT_TRUE(b.overrun);
}

TEST(DataBudget, SizesMustFitThirtyTwoBits) {
    EXPECT_EQ(WireFileSize(0xFFFFFFFFull), 0xFFFFFFFFu);
    EXPECT_FALSE(WireFileSize(0x100000000ull));  // 4 GiB
    EXPECT_EQ(AddToTotal(0xFFFFFFF0u, 0x0Fu), 0xFFFFFFFFu);
    EXPECT_FALSE(AddToTotal(0xFFFFFFF0u, 0x10u));
}

}  // namespace
}  // namespace ov::transfer
