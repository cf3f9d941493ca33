// The chat window on the offscreen platform: two people chat through their windows, the
// edit keeps to the limit, links in the lines open when clicked, the rectangle is kept; and
// pictures of the window in the program's skin.
#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include "shell/core/pending_item_queue.h"
#include "shell/messaging/tests/chat_fixture.h"

namespace ov::shell::testing {
namespace {

class ChatWindowTest : public ChatTest {
protected:
    void Mouse(ChatView& view, QEvent::Type type, QPoint at) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, view.viewport()->mapToGlobal(at), button,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : button,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &event);
    }
    void PressEnter(ChatWindow& window, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QPlainTextEdit* edit = nullptr;
        for (auto* e : window.findChildren<QPlainTextEdit*>())
            edit = e;
        QKeyEvent event(QEvent::KeyPress, Qt::Key_Return, modifiers, "\r");
        QCoreApplication::sendEvent(edit, &event);
    }
    QPlainTextEdit* Edit() { return Named<QPlainTextEdit>(U("发送信息")); }
    QString Status() { return Named<QLabel>(U("状态"))->text(); }
};

TEST_F(ChatWindowTest, TwoPeopleChatThroughTheirWindowsAndALinkOpens) {
    StartServer();
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");
    // Bob already has a window with alice; her request shows there.
    QPointer<ChatWindow> bobs = ChatWindow::Open(bob.App(), Pin(alice));
    EXPECT_TRUE(ChatWindow::IsOpenWith(bob.App(), Pin(alice)));
    EXPECT_FALSE(ChatWindow::IsOpenWith(alice.App(), Pin(bob)));
    EXPECT_EQ(ChatWindow::Open(bob.App(), Pin(alice)), bobs.data());  // one per user

    client_ = &alice;
    wizard_ = ChatWindow::Open(alice.App(), Pin(bob));
    EXPECT_EQ(wizard_->windowTitle(), wizard_->Session().PeerName() + U(" - 聊天"));
    EXPECT_FALSE(Named<QPushButton>(U("同意"))->isVisible());
    EXPECT_EQ(Status(), U("请输入聊天请求信息 (0/400)"));
    Edit()->setPlainText(U("有空吗"));
    EXPECT_EQ(Status(), U("请输入聊天请求信息 (6/400)"));
    Click(U("发送"));
    EXPECT_FALSE(Enabled(U("发送")));
    EXPECT_EQ(Edit()->toPlainText(), U("有空吗"));  // kept until the request is accepted

    ASSERT_TRUE(time_->RunUntil([&] { return bobs->Session().Offered(); }));
    EXPECT_EQ(bobs->View().Count(), 3);
    {
        client_ = &bob;
        std::swap(wizard_, bobs);
        EXPECT_TRUE(Named<QPushButton>(U("同意"))->isVisible());
        EXPECT_TRUE(Named<QPushButton>(U("拒绝"))->isVisible());
        Click(U("同意"));
        EXPECT_FALSE(Named<QPushButton>(U("同意"))->isVisible());
        std::swap(wizard_, bobs);
        client_ = &alice;
    }
    ASSERT_TRUE(time_->RunUntil([&] { return wizard_->Session().Connected(); }));
    EXPECT_EQ(Edit()->toPlainText(), "");
    EXPECT_TRUE(Enabled(U("发送")));

    // Shift+Enter breaks the line, Enter sends.
    Edit()->setPlainText(U("看看 www.x.org?a=1 吧"));
    PressEnter(*wizard_, Qt::ShiftModifier);
    EXPECT_TRUE(Edit()->toPlainText().contains('\n'));
    Edit()->setPlainText(U("看看 www.x.org?a=1 吧"));
    PressEnter(*wizard_);
    EXPECT_EQ(Edit()->toPlainText(), "");
    ChatView& aliceView = wizard_->View();
    EXPECT_EQ(aliceView.LineAt(aliceView.Count() - 1).kind, ChatLineKind::OwnSending);
    ASSERT_TRUE(time_->RunUntil(
        [&] { return aliceView.LineAt(aliceView.Count() - 1).kind == ChatLineKind::OwnSent; }));
    EXPECT_EQ(aliceView.ColorOf(ChatLineKind::OwnSent), QColor(0x1F5FCC));

    ChatView& bobView = bobs->View();
    ASSERT_EQ(bobView.Count(), 4);
    const QString line = bobView.LineAt(3).text;
    bobs->resize(480, 420);
    QCoreApplication::processEvents();
    const int link = line.indexOf("www");
    Mouse(bobView, QEvent::MouseMove, bobView.PointOf(3, link + 2));
    EXPECT_EQ(bobView.Hovered(), "www.x.org");
    Mouse(bobView, QEvent::MouseMove, bobView.PointOf(3, line.indexOf(U("吧"))));
    EXPECT_EQ(bobView.Hovered(), "");
    Mouse(bobView, QEvent::MouseButtonPress, bobView.PointOf(3, link + 4));
    Mouse(bobView, QEvent::MouseButtonRelease, bobView.PointOf(3, link + 4));
    EXPECT_EQ(bob.launcher.Opened(), QStringList{"url http://www.x.org"});
    // The sender's name is clickable too.
    QString clicked;
    qint32 clickedPin = 0;
    QObject::connect(&bobView, &ChatView::NameClicked, [&](const QString& n, qint32 pin) {
        clicked = n;
        clickedPin = pin;
    });
    Mouse(bobView, QEvent::MouseMove, bobView.PointOf(3, 10));
    EXPECT_EQ(bobView.Hovered(), "<" + bobs->Session().PeerName() + ">");
    Mouse(bobView, QEvent::MouseButtonRelease, bobView.PointOf(3, 10));
    EXPECT_EQ(clicked, bobs->Session().PeerName());
    EXPECT_EQ(clickedPin, Pin(alice));

    // Alice closes her window: asked, she stays; asked again, she agrees; bob hears of it.
    alice.prompts.Answer(false);
    Click(U("关闭"));
    EXPECT_FALSE(Closed());
    alice.prompts.Answer(true);
    Click(U("关闭"));
    EXPECT_TRUE(Closed());
    EXPECT_EQ(alice.prompts.Boxes().size(), 2u);
    EXPECT_FALSE(ChatWindow::IsOpenWith(alice.App(), Pin(bob)));
    ASSERT_TRUE(time_->RunUntil([&] { return !bobs->Session().Connected(); }));
    EXPECT_EQ(bobView.LineAt(bobView.Count() - 1).kind, ChatLineKind::Error);

    // At the program's end every window closes at once, asking nothing.
    Connect(ChatWindow::Open(alice.App(), Pin(bob))->Session(), bobs->Session());
    ChatWindow::CloseAll(bob.App());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(bobs.isNull());
    EXPECT_TRUE(bob.prompts.Boxes().empty());
    ASSERT_TRUE(time_->RunUntil(
        [&] { return !ChatWindow::Find(alice.App(), Pin(bob))->Session().Connected(); }));
}

TEST_F(ChatWindowTest, TheEditKeepsToTheLimitAndTheWindowItsRectangle) {
    ShellClient& c = StartClient("limit");
    c.App().Settings().rectPrivateChatWnd = QRect(40, 50, 500, 430);
    wizard_ = ChatWindow::Open(c.App(), 10002);
    EXPECT_EQ(wizard_->geometry().size(), QSize(500, 430));
    // 200 characters of two bytes fill the body exactly; one more goes again at once.
    const QString full(200, QChar(0x4E2D));
    Edit()->setPlainText(full);
    EXPECT_EQ(Status(), U("请输入聊天请求信息 (400/400)"));
    QTextCursor cursor = Edit()->textCursor();
    cursor.setPosition(100);
    Edit()->setTextCursor(cursor);
    Edit()->insertPlainText("x");
    EXPECT_EQ(Edit()->toPlainText(), full);
    EXPECT_EQ(Status(), U("请输入聊天请求信息 (400/400)"));
    // A pasted line break counts four bytes and does not fit either.
    Edit()->setPlainText(QString(199, QChar(0x4E2D)));
    Edit()->moveCursor(QTextCursor::End);
    Edit()->insertPlainText("\n");
    EXPECT_EQ(Edit()->toPlainText(), QString(199, QChar(0x4E2D)));

    wizard_->setGeometry(60, 70, 520, 440);
    wizard_->close();
    EXPECT_TRUE(Closed());
    EXPECT_EQ(c.App().Settings().rectPrivateChatWnd, QRect(60, 70, 520, 440));
}

TEST_F(ChatWindowTest, TheViewWrapsFindsLinksOnEveryRowAndLeavesAReaderWhereHeIs) {
    ShellClient& c = StartClient("view");
    ChatView view(c.App());
    view.resize(220, 120);
    view.show();
    QCoreApplication::processEvents();
    const QString line = "[10:00] <bob> " + QString(40, 'w').replace("w", "x ") + "www.x.org end";
    view.Add({1, ChatLineKind::Text, line});
    const int link = line.indexOf("www");
    ASSERT_GT(view.PointOf(0, link).y(), view.PointOf(0, 0).y());  // on a later row
    Mouse(view, QEvent::MouseMove, view.PointOf(0, link + 3));
    EXPECT_EQ(view.Hovered(), "www.x.org");
    Mouse(view, QEvent::MouseMove, view.PointOf(0, 20));
    EXPECT_EQ(view.Hovered(), "");
    Mouse(view, QEvent::MouseButtonRelease, view.PointOf(0, link));
    EXPECT_EQ(c.launcher.Opened(), QStringList{"url http://www.x.org"});

    // An own line changes colour by its key; an unknown key changes nothing.
    view.Add({2, ChatLineKind::OwnSending, "[10:00] <me> hi"});
    view.Update(2, ChatLineKind::OwnSendErr);
    view.Update(99, ChatLineKind::Error);
    EXPECT_EQ(view.LineAt(1).kind, ChatLineKind::OwnSendErr);
    EXPECT_EQ(view.LineAt(0).kind, ChatLineKind::Text);

    // A screen reader reads the lines as a list, an own line with how its sending went.
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::List);
    ASSERT_EQ(list->childCount(), 2);
    EXPECT_EQ(list->child(0)->text(QAccessible::Name), line);
    EXPECT_EQ(list->child(0)->text(QAccessible::Description), "");
    EXPECT_EQ(list->child(1)->text(QAccessible::Description), "发送失败");
    EXPECT_EQ(list->indexOfChild(list->child(1)), 1);
    view.Update(2, ChatLineKind::OwnSent);
    EXPECT_EQ(list->child(1)->text(QAccessible::Description), "已发送");

    // New lines follow at the bottom, unless the reader has scrolled back.
    for (int i = 0; i < 20; ++i)
        view.Add({10 + i, ChatLineKind::Text, QStringLiteral("[10:00] <bob> %1").arg(i)});
    QScrollBar* bar = view.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setValue(0);
    view.Add({40, ChatLineKind::Text, "[10:01] <bob> more"});
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(ChatWindowTest, PicturesOfARequestAndOfAConversation) {
    OVShellApp& app = StartSkinnedApp();
    wizard_ = ChatWindow::OpenRequest(
        app, PendingItem::ChatRequest(10002, U("你好，有空聊聊吗？资料在 www.orvane.net"), 12));
    EXPECT_TRUE(wizard_->Session().Offered());
    EXPECT_EQ(wizard_->View().Count(), 3);
    // The skin's colours.
    EXPECT_EQ(wizard_->View().ColorOf(ChatLineKind::Info), QColor(107, 119, 133));
    EXPECT_EQ(wizard_->View().ColorOf(ChatLineKind::Join), QColor(46, 184, 114));
    Shot("chat_request");

    wizard_ = ChatWindow::Open(app, 10003);
    ChatView& view = wizard_->View();
    const struct {
        ChatLineKind kind;
        const char* text;
    } lines[] = {
        {ChatLineKind::Info, "*** 对方接受聊天！"},
        {ChatLineKind::OwnSent, "<小明> 晚上一起去看电影吧？"},
        {ChatLineKind::Text, "<[10003]> 好啊，几点？看这个 http://www.orvane.net/movies"},
        {ChatLineKind::OwnActionSent, "* 小明 笑了"},
        {ChatLineKind::Highlight, "<[10003]> 小明，七点在门口见"},
        {ChatLineKind::Action, "* [10003] 挥手"},
        {ChatLineKind::OwnSending, "<小明> 好的，不见不散"},
        {ChatLineKind::OwnSendErr, "<小明> 这一行没有发出去"},
        {ChatLineKind::Join, "*** [10004] 进入"},
        {ChatLineKind::Part, "*** [10004] 离开"},
        {ChatLineKind::Error, "*** 对方关闭连接！"},
    };
    qint64 key = 1000;
    for (const auto& l : lines)
        view.Add({key++, l.kind, "[20:15] " + U(l.text)});
    // The newest line stays in sight.
    QCoreApplication::processEvents();
    EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
    Shot("chat_conversation");
}

}  // namespace
}  // namespace ov::shell::testing
