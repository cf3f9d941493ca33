// list.dat against bytes laid out by hand, and every damaged form of it refused whole.
#include <gtest/gtest.h>

#include <cstring>

#include "shell/core/list_file.h"
#include "shell/core/tests/test_files.h"
#include "shell/core/user_directories.h"

namespace ov::shell {
namespace {

using testing::CoreTest;
using testing::ModeOf;
using testing::ReadBytes;
using namespace std::string_literals;

// The test's own XOR with a repeating key, independent of the code under test.
std::string Xor(std::string bytes, const std::string& key) {
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ key[i % key.size()]);
    return bytes;
}

void Put32(std::string* bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        (*bytes)[offset + i] = static_cast<char>(value >> (8 * i));
}

OV_BUDDY_TREE_NODE SampleNode() {
    OV_BUDDY_TREE_NODE node{};
    node.nBuddyNodeID = 10002;
    std::strcpy(node.sDisplayName, "Li");
    node.nBuddyNodeMode = 1;
    std::strcpy(node.sUserName, "li");
    std::strcpy(node.sNickName, "lee");
    node.nAgeRange = 2;
    node.nIcon = 0x0103;
    node.nSex = 1;
    node.nParentBuddyGroupID = 1;
    node.nOnlineStatus = 0xFFFF;
    return node;
}

// The plain 148 bytes of SampleNode as it arrives from the kernel, laid out by offset.
std::string SampleNodeBytes() {
    std::string b(148, '\0');
    Put32(&b, 0, 0);  // bIsBuddyGroup
    Put32(&b, 4, 10002);
    std::memcpy(&b[8], "Li", 2);  // sDisplayName[33], then 3 bytes of padding
    Put32(&b, 44, 1);
    std::memcpy(&b[48], "li", 2);   // sUserName[17]
    std::memcpy(&b[65], "lee", 3);  // sNickName[17]
    b[82] = 2;                      // nAgeRange, then a byte of padding
    Put32(&b, 84, 0x0103);
    b[88] = 1;  // nSex, then 3 bytes of padding
    Put32(&b, 92, 1);
    Put32(&b, 96, 0xFFFF);
    Put32(&b, 144, 0xFFFFFFFF);  // the last display word; the others are 0
    return b;
}

ListFileContent SampleContent() {
    ListFileContent content;
    content.nodes.append(BuddyNodeRecord::FromKernel(SampleNode()));
    content.others.append(OtherUserEntry{10002, QStringLiteral("李"), 3, 0, -1});
    return content;
}

const std::string kSampleFile =
    "\x20\x01\x00\x00"   // 288
    "\x01\x00\x00\x00"s  // one node
    + Xor(SampleNodeBytes(), "ab") +
    "\x01\x00\x00\x00"    // one other user, each value a field keyed "ab"
    "\x73\x45\x61\x62"    // nPin 10002
    "\x62\x62\x61\x62"    // kind 3
    "\x61\x62\x61\x62"    // flags 0
    "\x02\x00\x00\x00"    // name length, plain
    "\xa1\x8c"            // "李" (C0 EE)
    "\x9e\x9d\x9e\x9d"s;  // icon -1

TEST(ListFileTest, EncodesByteForByte) {
    const QByteArray encoded = EncodeListFile(SampleContent(), "ab");
    EXPECT_EQ(encoded.toStdString(), kSampleFile);
    EXPECT_EQ(EncodeListFile({}, "ab").toStdString(),
              "\x20\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"s);
}

TEST(ListFileTest, DecodesWhatWasWritten) {
    ListFileContent decoded;
    ASSERT_TRUE(DecodeListFile(QByteArray::fromStdString(kSampleFile), "ab", &decoded));
    ASSERT_EQ(decoded.nodes.size(), 1);
    EXPECT_EQ(decoded.nodes[0].ToBytes().toStdString(), SampleNodeBytes());
    EXPECT_STREQ(decoded.nodes[0].node.sNickName, "lee");
    EXPECT_EQ(decoded.nodes[0].display[11], -1);
    EXPECT_EQ(decoded.others, SampleContent().others);

    // The wrong user's key reads other values, but never out of bounds.
    ListFileContent other;
    DecodeListFile(QByteArray::fromStdString(kSampleFile), "someone", &other);
}

TEST(ListFileTest, DamagedInputIsNotLoaded) {
    const QByteArray whole = QByteArray::fromStdString(kSampleFile);
    ListFileContent content = SampleContent();
    for (qsizetype size = 0; size < whole.size(); ++size)
        EXPECT_FALSE(DecodeListFile(whole.first(size), "ab", &content)) << size;
    EXPECT_EQ(content.others.size(), 1);  // untouched by the failures

    QByteArray wrongFormat = whole;
    wrongFormat[0] = 0x21;
    EXPECT_FALSE(DecodeListFile(wrongFormat, "ab", &content));
    QByteArray hugeNodeCount = whole;
    hugeNodeCount.replace(4, 4, QByteArray("\xff\xff\xff\x7f", 4));
    EXPECT_FALSE(DecodeListFile(hugeNodeCount, "ab", &content));
    QByteArray negativeNameLength = whole;
    negativeNameLength.replace(8 + 148 + 4 + 12, 4, QByteArray("\xfe\xff\xff\xff", 4));
    EXPECT_FALSE(DecodeListFile(negativeNameLength, "ab", &content));
    QByteArray hugeOtherCount = whole;
    hugeOtherCount.replace(8 + 148, 4, QByteArray("\x00\x00\x00\x40", 4));
    EXPECT_FALSE(DecodeListFile(hugeOtherCount, "ab", &content));
    // Bytes after the last entry are not part of the list.
    EXPECT_TRUE(DecodeListFile(whole + "trailing", "ab", &content));
}

TEST(ListFileTest, UnterminatedNodeTextsAreTerminated) {
    std::string plain(148, 'A');
    BuddyNodeRecord record;
    ASSERT_TRUE(BuddyNodeRecord::FromBytes(QByteArray::fromStdString(plain), &record));
    EXPECT_EQ(std::strlen(record.node.sDisplayName), 32u);
    EXPECT_EQ(std::strlen(record.node.sUserName), 16u);
    EXPECT_EQ(std::strlen(record.node.sNickName), 16u);
    EXPECT_FALSE(BuddyNodeRecord::FromBytes(QByteArray(147, 'A'), &record));
}

class ListFileIoTest : public CoreTest {};

TEST_F(ListFileIoTest, SavedPrivatelyAndLoadedBack) {
    UserDirectories dirs(DataHome());
    ASSERT_TRUE(dirs.Create("ab"));
    const QString path = dirs.UserFile("ab", kListFileName);
    ListFileContent content;
    EXPECT_FALSE(LoadListFile(path, "ab", &content));
    ASSERT_TRUE(SaveListFile(path, SampleContent(), "ab"));
    EXPECT_EQ(ReadBytes(path), kSampleFile);
    EXPECT_EQ(ModeOf(path), 0600);
    ASSERT_TRUE(LoadListFile(path, "ab", &content));
    EXPECT_EQ(content.others, SampleContent().others);
}

}  // namespace
}  // namespace ov::shell
