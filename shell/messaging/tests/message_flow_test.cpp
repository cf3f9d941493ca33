// Messages between clients of the reference server in this process: the send window's logic,
// the frame's queue, notes and leave-words, the receive window's archiving, and what the
// server keeps for a user who is away.
#include <QTextBrowser>

#include "shell/core/commands.h"
#include "shell/core/hidden_frame.h"
#include "shell/messaging/send_message_model.h"
#include "shell/messaging/tests/message_fixture.h"
#include "shell/messaging/widgets/receive_message_window.h"

namespace ov::shell::testing {
namespace {

class MessageFlow : public MessageTest {
protected:
    // Sends and waits for the result; the status line it ended with.
    QString Send(SendMessageModel& model, const QString& text) {
        model.Send(text);
        EXPECT_TRUE(time_->RunUntil([&] { return !model.Sending(); }));
        return model.Status();
    }
    // Waits for the client's next waiting message and shows it as the receive window does.
    std::optional<PendingItem> Receive(ShellClient& c) {
        std::optional<PendingItem> item;
        time_->RunUntil([&] {
            item = c.App().Pending().Take(kPendingMessage, 0, true);
            return item.has_value();
        });
        if (item)
            ReceiveMessageWindow::Open(c.App(), *item);
        return item;
    }
    // Lets datagrams go back and forth for ms of real time.
    void Idle(int ms) {
        time_->RunUntil([] { return false; }, std::chrono::milliseconds(ms));
    }
};

TEST_F(MessageFlow, AThousandMessagesBothWaysAreArchivedOnceInOrderOnBothSides) {
    StartServer(0, true);
    const qint32 alicePin = RegisterUser("alice");
    const qint32 bobPin = RegisterUser("bob");
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");
    SendMessageModel toBob(alice.App(), bobPin);
    SendMessageModel toAlice(bob.App(), alicePin);

    // Both write at once, round after round.
    constexpr int kRounds = 500;
    auto text = [](const char* who, int i) {
        return QStringLiteral("%1 第%2条\nline two \\ end").arg(QLatin1String(who)).arg(i);
    };
    for (int i = 0; i < kRounds; ++i) {
        toBob.Send(text("alice", i));
        toAlice.Send(text("bob", i));
        ASSERT_TRUE(time_->RunUntil([&] { return !toBob.Sending() && !toAlice.Sending(); }));
        ASSERT_EQ(toBob.Status(), "消息发送成功!") << i;
        ASSERT_EQ(toAlice.Status(), "消息发送成功!") << i;
        const std::optional<PendingItem> atBob = Receive(bob);
        const std::optional<PendingItem> atAlice = Receive(alice);
        ASSERT_TRUE(atBob && atAlice) << i;
        ASSERT_EQ(atBob->message.sText, text("alice", i));
        ASSERT_EQ(atAlice->message.sText, text("bob", i));
    }
    // Each side keeps every message once: what it sent and what it read, each in its order.
    for (ShellClient* side : {&alice, &bob}) {
        const bool isAlice = side == &alice;
        const QList<MessageRecord> archived = Archived(*side, isAlice ? bobPin : alicePin);
        ASSERT_EQ(archived.size(), 2 * kRounds);
        int sent = 0;
        int read = 0;
        for (const MessageRecord& r : archived) {
            if (r.nKind == kMessageSent)
                EXPECT_EQ(r.sText, text(isAlice ? "alice" : "bob", sent++));
            else
                EXPECT_EQ(r.sText, text(isAlice ? "bob" : "alice", read++));
        }
        EXPECT_EQ(sent, kRounds);
        EXPECT_EQ(read, kRounds);
    }
    EXPECT_EQ(alice.App().Pending().Count(), 0);
}

TEST_F(MessageFlow, AnAbsentUserGetsWhatWasSavedForHimOnceAtHisNextLogin) {
    StartServer();
    RegisterUser("alice");
    const qint32 bobPin = RegisterUser("bob");
    ShellClient& alice = LogIn("alice");
    {
        ShellClient& bob = LogIn("bob");
        Close(bob);
        // Its application goes, and with it the hold on bob's data home.
        for (auto& c : clients_)
            if (c.get() == &bob)
                c.reset();
    }
    SendMessageModel toBob(alice.App(), bobPin);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(Send(toBob, QStringLiteral("saved %1").arg(i)), "消息发送成功!");

    ShellClient& bob = LogIn("bob");
    ASSERT_TRUE(time_->RunUntil([&] { return bob.App().Pending().Count() >= 3; }));
    // Whatever else comes while the session goes on, nothing arrives twice.
    time_->Advance(30'000);
    Idle(200);
    const QList<PendingItem> items = bob.App().Pending().Items();
    ASSERT_EQ(items.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(items[i].message.sText, QStringLiteral("saved %1").arg(i));
    // The tray and the desktop tell of them, with the sender and the first line.
    EXPECT_EQ(bob.tray.Animation(), "UserMessage");
    ASSERT_FALSE(bob.notifier.Notes().isEmpty());
    EXPECT_TRUE(bob.notifier.Notes().back().endsWith("|saved 2"));
    EXPECT_TRUE(bob.notifier.Notes().back().startsWith("来自 "));
}

TEST_F(MessageFlow, ALeaveWordIsShownButNeverAnswered) {
    StartServer();
    const qint32 alicePin = RegisterUser("alice");
    const qint32 bobPin = RegisterUser("bob");
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");
    for (ShellClient* c : {&alice, &bob}) {
        c->App().Settings().bLeaveWordOffline = true;
        c->App().Settings().sLeaveWordOffline = QStringLiteral("我不在");
        c->Frame().Command(ID_STATUS_AWAY);
    }
    Idle(200);
    SendMessageModel toBob(alice.App(), bobPin);
    ASSERT_EQ(Send(toBob, QStringLiteral("在吗?")), "消息发送成功!");

    // Bob's program answers with his leave-word; alice's takes it and answers nothing.
    ASSERT_TRUE(time_->RunUntil([&] { return alice.App().Pending().Count() == 1; }));
    EXPECT_EQ(alice.App().Pending().Items()[0].message.sText, "我不在");
    EXPECT_EQ(alice.App().Pending().Items()[0].nNumber, bobPin);
    Idle(300);
    EXPECT_EQ(bob.App().Pending().Count(), 1);  // alice's question alone
    EXPECT_EQ(bob.App().Pending().Items()[0].nNumber, alicePin);
}

TEST_F(MessageFlow, TheStatusLineTellsEachOutcomeAndKeepsTheText) {
    StartServer();
    RegisterUser("alice");
    const qint32 bobPin = RegisterUser("bob");
    ShellClient& alice = LogIn("alice");
    SendMessageModel model(alice.App(), bobPin);
    EXPECT_EQ(model.Status(), "请输入消息内容 (0/400)");
    model.Edited(QStringLiteral("ab\n"), 3);
    EXPECT_EQ(model.Status(), "请输入消息内容 (6/400)");
    EXPECT_EQ(model.Length(), 6);

    alice.sounds.Clear();
    model.Send(QString());
    EXPECT_EQ(model.Status(), "消息不能为空!");
    EXPECT_EQ(alice.sounds.Played(), std::vector<int>{33});
    time_->Advance(SendMessageModel::kStatusResetMs);
    EXPECT_EQ(model.Status(), "请输入消息内容 (6/400)");

    // The server goes away: the kernel gives up on the command.
    StopServer();
    alice.sounds.Clear();
    model.Send(QStringLiteral("hello"));
    EXPECT_TRUE(model.Sending());
    EXPECT_EQ(model.Status(), "正在发送，请稍候...");
    for (int i = 0; i < 60 && model.Sending(); ++i)
        time_->Advance(1000);
    EXPECT_FALSE(model.Sending());
    EXPECT_EQ(model.Status(), "消息发送错误，发送超时!");
    EXPECT_EQ(alice.sounds.Played(), (std::vector<int>{31, 33}));
    QList<MessageRecord> none;
    alice.App().UserData().GetMessages(bobPin, &none);
    EXPECT_TRUE(none.isEmpty());

    // Not logged in at all.
    alice.Frame().Command(ID_FUNCTION_LOGOUT);
    Idle(100);
    model.Send(QStringLiteral("hello"));
    EXPECT_EQ(model.Status(), "无法发送消息，请先登录服务器!");
}

}  // namespace
}  // namespace ov::shell::testing
