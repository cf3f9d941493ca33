// The chat's component codes, the line counter's restart with acknowledgements that keep
// finding their lines, and how a typed line reads.
#include "shell/messaging/chat_protocol.h"

#include <gtest/gtest.h>

namespace ov::shell {
namespace {

TEST(ChatProtocolTest, CodesCarryTheKindAboveTheNumber) {
    EXPECT_EQ(ChatCode(kChatLine, 7), 0x00007);
    EXPECT_EQ(ChatCode(kChatAck, 0xFFF0), 0x1FFF0);
    EXPECT_EQ(ChatCode(kChatRequest, 1), 0x20001);
    EXPECT_EQ(ChatCode(kChatAccept, 12), 0x3000C);
    EXPECT_EQ(ChatCode(kChatRefuse, 12), 0x4000C);
    EXPECT_EQ(ChatCode(kChatClose, 0), 0x50000);
    // A number never spills into the kind.
    EXPECT_EQ(ChatCode(kChatAck, 0x12345), 0x12345);
    for (qint32 code : {0x00000, 0x1FFFF, 0x20010, 0x5ABCD}) {
        EXPECT_EQ(ChatCode(static_cast<ChatKind>(ChatKindOf(code)), ChatNumberOf(code)), code);
    }
    EXPECT_EQ(ChatKindOf(0x4000C), kChatRefuse);
    EXPECT_EQ(ChatNumberOf(0x4000C), 12);
}

TEST(ChatProtocolTest, TheCounterRestartsAtTenAndAcknowledgementsFindTheNewestLine) {
    ChatLineCounter counter;
    ChatPendingLines pending;
    long seq = 0;
    // The first lines go unanswered; the rest are acknowledged at once.
    for (int i = 1; i <= 65520; ++i) {
        const qint32 n = counter.Next();
        ASSERT_EQ(n, i);
        if (i <= 12)
            pending.Add({++seq, n, i, false});
    }
    EXPECT_EQ(counter.Current(), 0xFFF0);
    EXPECT_EQ(counter.Next(), 10);
    pending.Add({++seq, 10, 65521, false});
    EXPECT_EQ(counter.Next(), 11);
    pending.Add({++seq, 11, 65522, true});

    const auto tenth = pending.Acknowledge(10);
    ASSERT_TRUE(tenth.has_value());
    EXPECT_EQ(tenth->key, 65521);  // the line just sent, not the old one
    EXPECT_EQ(pending.Acknowledge(11)->key, 65522);
    // The old lines of those numbers still wait, and an answer for them still finds them.
    EXPECT_EQ(pending.Numbers(), (QList<qint32>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(pending.Acknowledge(10)->key, 10);
    EXPECT_FALSE(pending.Acknowledge(10).has_value());
    EXPECT_FALSE(pending.Acknowledge(13).has_value());
}

TEST(ChatProtocolTest, AFailedCommandTakesOnlyItsOwnLine) {
    ChatPendingLines pending;
    pending.Add({5, 1, 100, false});
    pending.Add({6, 2, 101, false});
    pending.Delivered(5);
    // Once the server took it, a late failure of that number no longer matches it.
    EXPECT_FALSE(pending.Fail(5).has_value());
    EXPECT_EQ(pending.Fail(6)->key, 101);
    EXPECT_FALSE(pending.Fail(0).has_value());
    EXPECT_EQ(pending.Numbers(), QList<qint32>{1});
}

TEST(ChatProtocolTest, MeMakesAnActionOnlyWithTextAfterIt) {
    const struct {
        const char* typed;
        bool action;
        const char* shown;
    } cases[] = {
        {"/me waves", true, "* bob waves"},
        {"/me  two spaces", true, "* bob  two spaces"},
        {"/me 笑了", true, "* bob 笑了"},
        {"/me ", false, "<bob> /me "},
        {"/me", false, "<bob> /me"},
        {"/mewaves", false, "<bob> /mewaves"},
        {" /me waves", false, "<bob>  /me waves"},
        {"/ME waves", false, "<bob> /ME waves"},
        {"hello %1 %2", false, "<bob> hello %1 %2"},
        {"", false, "<bob> "},
    };
    for (const auto& c : cases) {
        const ChatLineText line = FormatChatLine("bob", QString::fromUtf8(c.typed));
        EXPECT_EQ(line.action, c.action) << c.typed;
        EXPECT_EQ(line.text, QString::fromUtf8(c.shown)) << c.typed;
    }
    // A name that looks like a placeholder stays as it is.
    EXPECT_EQ(FormatChatLine("%1", "/me is here").text, "* %1 is here");
}

}  // namespace
}  // namespace ov::shell
