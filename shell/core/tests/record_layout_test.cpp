// The record layout of the binary per-user files, and the archive stream's string lengths at
// the points where their form changes.
#include <gtest/gtest.h>

#include "shell/core/archive_stream.h"
#include "shell/core/field_scramble.h"
#include "shell/core/message_record.h"

namespace ov::shell {
namespace {

using namespace std::string_literals;

TEST(RecordLayoutTest, FieldsInFileOrderEachScrambledFromTheKeysStart) {
    MessageRecord record;
    record.nKind = kMessageSent;
    record.nTime = 0x01020304;
    record.nPeerNumber = 7;
    record.nExtra = 9;
    record.sText = "a";
    record.sFontFace = "F";
    record.nFontSize = 10;
    record.bBold = 0;
    record.bItalic = 1;
    record.bUnderline = 2;
    record.clrText = 0x11;
    record.clrBackground = 0x22;
    record.sPeerName = "never written";

    ArchiveWriter out;
    WriteMessageRecord(out, record, ScrambleKey("k"));  // every byte XOR 6B
    EXPECT_EQ(out.Data().toStdString(),
              "\x6a\x6b\x6b\x6b"      // kind 1
              "\x6f\x68\x69\x6a"      // time 0x01020304
              "\x6c\x6b\x6b\x6b"      // peer number 7
              "\x62\x6b\x6b\x6b"      // extra value 9
              "\x01\x00\x00\x00\x0a"  // text "a", its length plain
              "\x01\x00\x00\x00\x2d"  // font face "F"
              "\x61\x6b\x6b\x6b"      // font size 10
              "\x6b\x6a\x69"          // bold 0, italic 1, underline 2
              "\x7a\x6b\x6b\x6b"      // text colour 0x11
              "\x49\x6b\x6b\x6b"s);   // background colour 0x22

    ArchiveReader in(out.Data());
    MessageRecord read;
    ASSERT_TRUE(ReadMessageRecord(in, ScrambleKey("k"), &read));
    EXPECT_TRUE(in.AtEnd());
    record.sPeerName.clear();
    EXPECT_EQ(read, record);

    const QByteArray shorter = out.Data().first(out.Data().size() - 1);
    ArchiveReader cut(shorter);
    MessageRecord untouched;
    EXPECT_FALSE(ReadMessageRecord(cut, ScrambleKey("k"), &untouched));
    EXPECT_EQ(untouched, MessageRecord{});
}

TEST(RecordLayoutTest, DefaultsOfANewRecord) {
    const MessageRecord record;
    EXPECT_EQ(record.sFontFace, QStringLiteral("宋体"));
    EXPECT_EQ(record.nFontSize, 12);
    EXPECT_EQ(record.bBold, 1);
    EXPECT_EQ(record.clrText, 0x800000);
    EXPECT_EQ(record.clrBackground, 0xFFFFFF);
    EXPECT_EQ(record.nKind, 0);
}

TEST(ArchiveStreamTest, FrameworkStringLengthForms) {
    const struct {
        qsizetype size;
        std::string head;
    } cases[] = {
        {0, "\x00"s},
        {254, "\xfe"s},
        {255, "\xff\xff\x00"s},
        {0xFFFE, "\xff\xfe\xff"s},
        {0xFFFF, "\xff\xff\xff\xff\xff\x00\x00"s},
        {0x10000, "\xff\xff\xff\x00\x00\x01\x00"s},
    };
    for (const auto& c : cases) {
        const QByteArray text(c.size, 'x');
        ArchiveWriter out;
        out.FrameworkString(text);
        EXPECT_EQ(out.Data().first(static_cast<qsizetype>(c.head.size())).toStdString(), c.head)
            << c.size;
        EXPECT_EQ(out.Data().size(), static_cast<qsizetype>(c.head.size()) + c.size);
        ArchiveReader in(out.Data());
        EXPECT_EQ(in.FrameworkString(), text);
        EXPECT_TRUE(in.Ok() && in.AtEnd()) << c.size;
    }
    // A length beyond the data fails the stream, and it stays failed.
    ArchiveReader in(QByteArrayView("\xff\x10\x00xy", 5));
    EXPECT_TRUE(in.FrameworkString().isEmpty());
    EXPECT_FALSE(in.Ok());
    EXPECT_EQ(in.Int32(), 0);
}

}  // namespace
}  // namespace ov::shell
