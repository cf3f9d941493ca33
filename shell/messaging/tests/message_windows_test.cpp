// The send and receive windows on the offscreen platform, between clients of the reference
// server: typing within the limit, Ctrl+Enter, what a received message shows and when it is
// archived, the sender's next message, system messages.
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextEdit>

#include "shell/core/message_archive.h"
#include "shell/messaging/tests/message_fixture.h"
#include "shell/messaging/widgets/receive_message_window.h"
#include "shell/messaging/widgets/send_message_window.h"

namespace ov::shell::testing {
namespace {

class MessageWindows : public MessageTest {};

TEST_F(MessageWindows, TypingSendingAndReadingAMessage) {
    StartServer();
    const qint32 alicePin = RegisterUser("alice");
    const qint32 bobPin = RegisterUser("bob");
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");

    SendMessageWindow* send = SendMessageWindow::Open(alice.App(), bobPin);
    ASSERT_EQ(SendMessageWindow::Open(alice.App(), bobPin), send);  // one per user
    QTextEdit* edit = send->Edit();
    auto* status = In<QLabel>(send, "状态");
    // Typed past the limit: the last character goes again at once.
    edit->setPlainText(QString(400, QLatin1Char('a')));
    edit->moveCursor(QTextCursor::End);
    edit->insertPlainText(QStringLiteral("b"));
    EXPECT_EQ(edit->toPlainText(), QString(400, QLatin1Char('a')));
    EXPECT_EQ(status->text(), "请输入消息内容 (400/400)");
    EXPECT_EQ(In<QProgressBar>(send, "消息长度")->value(), 400);

    edit->setPlainText(QStringLiteral("你好，鲍勃\n第二行"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::ControlModifier);
    QApplication::sendEvent(edit, &enter);
    time_->RunDue();  // the send runs from the loop (and may be done already)
    EXPECT_NE(status->text(), "请输入消息内容 (15/400)");
    ASSERT_TRUE(time_->RunUntil([&] { return !send->Model().Sending(); }));
    EXPECT_EQ(status->text(), "消息发送成功!");
    EXPECT_TRUE(edit->toPlainText().isEmpty());
    EXPECT_TRUE(In<QPushButton>(send, "发送")->isEnabled());
    ASSERT_EQ(Archived(alice, bobPin).size(), 1);
    EXPECT_EQ(Archived(alice, bobPin)[0].nKind, kMessageSent);

    // Bob's message waits until a window shows it; showing it archives it.
    ASSERT_TRUE(time_->RunUntil([&] { return bob.App().Pending().Count() == 1; }));
    EXPECT_TRUE(Archived(bob, alicePin).isEmpty());
    std::optional<PendingItem> item = bob.App().Pending().Take(kPendingMessage, 0, true);
    ASSERT_TRUE(item);
    ReceiveMessageWindow* receive = ReceiveMessageWindow::Open(bob.App(), *item);
    EXPECT_TRUE(In<QLabel>(receive, "发信人")->text().startsWith("发信人:"));
    EXPECT_EQ(In<QLabel>(receive, "时间")->text(),
              "时间:" + QDateTime::fromSecsSinceEpoch(item->message.nTime)
                            .toString(QStringLiteral("yy-MM-dd HH:mm:ss")));
    EXPECT_EQ(In<QTextBrowser>(receive, "消息内容")->toPlainText(), "你好，鲍勃\n第二行");
    EXPECT_EQ(Archived(bob, alicePin).size(), 1);
    EXPECT_FALSE(In<QPushButton>(receive, "下一条")->isEnabled());

    // The next message of the same sender: the open window offers it.
    edit->setPlainText(QStringLiteral("再见"));
    In<QPushButton>(send, "发送")->click();
    ASSERT_TRUE(time_->RunUntil([&] { return bob.App().Pending().Count() == 1; }));
    time_->RunDue();
    ASSERT_TRUE(In<QPushButton>(receive, "下一条")->isEnabled());
    In<QPushButton>(receive, "下一条")->click();
    EXPECT_EQ(In<QTextBrowser>(receive, "消息内容")->toPlainText(), "再见");
    EXPECT_EQ(Archived(bob, alicePin).size(), 2);
    EXPECT_EQ(bob.App().Pending().Count(), 0);

    // Reply opens the send window for the sender.
    bob.windows.ClearOpened();
    In<QPushButton>(receive, "回复")->click();
    EXPECT_EQ(bob.windows.Opened(), QStringList{QStringLiteral("send %1").arg(alicePin)});
}

TEST_F(MessageWindows, ASystemMessageComesFromTheSystemAndCannotBeAnswered) {
    StartServer();
    RegisterUser("alice");
    ShellClient& alice = LogIn("alice");
    MessageRecord r;
    r.sText = QStringLiteral("服务器将于今晚维护");
    r.nTime = 1'700'000'000;
    r.nKind = kMessageReceived;
    r.nPeerNumber = kSystemMessagePeer;
    ReceiveMessageWindow* w =
        ReceiveMessageWindow::Open(alice.App(), PendingItem::Message(kSystemMessagePeer, r));
    EXPECT_EQ(In<QLabel>(w, "发信人")->text(), "发信人:系统");
    EXPECT_FALSE(In<QPushButton>(w, "回复")->isEnabled());
    ASSERT_EQ(Archived(alice, kSystemMessagePeer).size(), 1);
    EXPECT_EQ(Archived(alice, kSystemMessagePeer)[0].sText, r.sText);
}

}  // namespace
}  // namespace ov::shell::testing
