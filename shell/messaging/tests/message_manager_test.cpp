// The message manager: its tree of people, the rows of the selected person, delete, copy,
// export and search on the archive of a loaded user; its window on the offscreen platform.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include "shell/core/protocol_records.h"
#include "shell/core/shell_app.h"
#include "shell/core/tests/tree_nodes.h"
#include "shell/core/user_data_store.h"
#include "shell/messaging/message_manager_model.h"
#include "shell/messaging/widgets/message_manager_window.h"
#include "shell/testing/temp_home.h"
#include "shell/testing/window_shot.h"

namespace ov::shell {
namespace {

OV_BUDDY_TREE_NODE Group(quint32 id, const char* name) {
    return testing::GroupNode(id, name);
}

OV_BUDDY_TREE_NODE Buddy(quint32 pin, quint32 group, const char* user, const char* shown) {
    OV_BUDDY_TREE_NODE n{};
    n.nBuddyNodeID = pin;
    n.nParentBuddyGroupID = group;
    SetText(n.sUserName, QString::fromUtf8(user));
    SetText(n.sDisplayName, QString::fromUtf8(shown));
    return n;
}

MessageRecord Message(qint32 peer, qint32 time, const QString& text, qint32 kind) {
    MessageRecord r;
    r.nPeerNumber = peer;
    r.nTime = time;
    r.sText = text;
    r.nKind = kind;
    return r;
}

// 2026-12-08 15:04:32 UTC and the minutes after it.
constexpr qint32 kNoon = 1796742272;

class MessageManagerTest : public ov::testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        // The list shows local time; the expected texts are written for UTC.
        const char* tz = ::getenv("TZ");
        oldTz_ = tz ? QByteArray(tz) : QByteArray();
        hadTz_ = tz != nullptr;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        dir_ = QString::fromStdString(Home().DataHome()) + "/userdata/alice";
        ASSERT_TRUE(QDir().mkpath(dir_));
        ASSERT_TRUE(store_.Load("alice", dir_, 2));
        store_.ReplaceBuddyTree(
            {Group(2, "同学"), Buddy(10002, 1, "bob", "鲍勃"), Buddy(10003, 2, "carol", "卡萝")});
        store_.AddStranger(10004, QStringLiteral("路人"), 0);
    }
    void TearDown() override {
        store_.Unload();
        if (hadTz_)
            ::setenv("TZ", oldTz_.constData(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
        TempHomeTest::TearDown();
    }
    QStringList Texts(const MessageManagerModel& model, int node) const {
        QStringList texts;
        for (int child : model.Tree()[node].children)
            texts << model.Tree()[child].text;
        return texts;
    }
    QStringList RowTexts(const MessageManagerModel& model) const {
        QStringList texts;
        for (const ManagerRow& r : model.Rows())
            texts << r.text;
        return texts;
    }

    QString dir_;
    UserDataStore store_;
    QByteArray oldTz_;
    bool hadTz_ = false;
};

TEST_F(MessageManagerTest, TreeHoldsGroupsBuddiesStrangersAndEveryArchivedNumber) {
    store_.AddMessage(Message(10009, kNoon, QStringLiteral("from nowhere"), kMessageReceived));
    store_.AddMessage(Message(kSystemMessagePeer, kNoon, QStringLiteral("系统通知"), 2));
    MessageManagerModel model(store_, QStringLiteral("alice"));
    EXPECT_EQ(model.Selected(), -1);  // nothing read before a choice
    EXPECT_TRUE(model.Rows().isEmpty());
    const QList<ManagerNode>& tree = model.Tree();
    EXPECT_EQ(tree[0].text, "alice");
    EXPECT_EQ(Texts(model, 0), (QStringList{"好友", "同学", "系统消息", "陌生人"}));
    QList<qint32> data;
    for (int child : tree[0].children)
        data << tree[child].data;
    EXPECT_EQ(data, (QList<qint32>{1, 2, 2000, 1002}));
    EXPECT_EQ(Texts(model, tree[0].children[0]), QStringList{"bob (鲍勃)"});
    EXPECT_EQ(Texts(model, tree[0].children[1]), QStringList{"carol (卡萝)"});
    // A number only the archive knows is not out of reach.
    EXPECT_EQ(Texts(model, tree[0].children[3]), (QStringList{"路人", "10009"}));

    model.Select(tree[0].children[2]);
    EXPECT_EQ(RowTexts(model), QStringList{"系统通知"});
    EXPECT_EQ(model.Rows()[0].sender, "系统");
    // An item above people shows all of theirs, in time.
    store_.AddMessage(Message(10004, kNoon - 5, QStringLiteral("earlier"), kMessageSent));
    model.Select(tree[0].children[3]);
    EXPECT_EQ(RowTexts(model), (QStringList{"earlier", "from nowhere"}));
}

TEST_F(MessageManagerTest, RowsAndExportOfTwoSelectedRows) {
    store_.AddMessage(Message(10002, kNoon, QStringLiteral("你好\n第二行"), kMessageSent));
    store_.AddMessage(Message(10002, kNoon + 61, QStringLiteral("hi"), kMessageReceived));
    store_.AddMessage(Message(10002, kNoon + 62, QStringLiteral("odd"), 9));
    MessageManagerModel model(store_, QStringLiteral("alice"));
    model.Select(model.NodeOf(10002));
    ASSERT_EQ(model.Rows().size(), 3);
    const ManagerRow& sent = model.Rows()[0];
    EXPECT_EQ(sent.time, "26-12-08 15:04:32");
    EXPECT_EQ(sent.sender, "alice");
    EXPECT_EQ(sent.recipient, "鲍勃");
    EXPECT_EQ(sent.kind, "发送");
    const ManagerRow& received = model.Rows()[1];
    EXPECT_EQ(received.sender, "鲍勃");
    EXPECT_EQ(received.recipient, "alice");
    EXPECT_EQ(received.kind, "接收");
    EXPECT_EQ(model.Rows()[2].kind, "");

    const QString path = dir_ + "/out.txt";
    ASSERT_TRUE(model.Export(path, {1, 0}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("类型:发送\t来自:alice\t时间:26-12-08 15:04:32\n"
                                         "你好\n第二行\n\n"
                                         "类型:接收\t来自:鲍勃\t时间:26-12-08 15:05:33\n"
                                         "hi\n\n"));
    EXPECT_EQ(model.CopyText({2, 0}), "你好\n第二行\nodd\n");
    EXPECT_FALSE(model.Export(dir_ + "/missing/dir/out.txt", {0}));
}

TEST_F(MessageManagerTest, DeleteRemovesTheRowsAndAnEmptiedNumberLeavesTheTree) {
    store_.AddMessage(Message(10002, kNoon, QStringLiteral("a"), kMessageSent));
    store_.AddMessage(Message(10002, kNoon, QStringLiteral("b"), kMessageSent));
    store_.AddMessage(Message(10002, kNoon + 1, QStringLiteral("c"), kMessageSent));
    store_.AddMessage(Message(10009, kNoon, QStringLiteral("x"), kMessageReceived));
    MessageManagerModel model(store_, QStringLiteral("alice"));
    model.Select(model.NodeOf(10002));
    // Two rows of the same second: both go.
    model.Delete({0, 1});
    EXPECT_EQ(RowTexts(model), QStringList{"c"});

    model.Select(model.NodeOf(10009));
    model.Delete({0});
    EXPECT_TRUE(model.Rows().isEmpty());
    EXPECT_EQ(model.NodeOf(10009), -1);
    EXPECT_FALSE(QFile::exists(dir_ + "/10009.msg"));
    EXPECT_EQ(model.Tree()[model.Selected()].data, kManagerStrangersData);
}

TEST_F(MessageManagerTest, FollowsTheArchiveAndSearchesEveryPerson) {
    MessageManagerModel model(store_, QStringLiteral("alice"));
    model.Select(model.NodeOf(10003));
    int treeChanges = 0;
    QObject::connect(&model, &MessageManagerModel::TreeChanged, [&] { ++treeChanges; });
    store_.AddMessage(Message(10003, kNoon, QStringLiteral("Meeting at noon"), kMessageSent));
    EXPECT_EQ(RowTexts(model), QStringList{"Meeting at noon"});
    store_.AddMessage(Message(10010, kNoon + 9, QStringLiteral("new MEETING"), kMessageReceived));
    EXPECT_GE(treeChanges, 1);
    EXPECT_NE(model.NodeOf(10010), -1);
    EXPECT_EQ(model.Tree()[model.Selected()].data, 10003);  // the selection stays
    store_.AddMessage(Message(10002, kNoon + 5, QStringLiteral("no"), kMessageSent));

    model.Search(QStringLiteral("meeting"));
    EXPECT_EQ(RowTexts(model), (QStringList{"new MEETING", "Meeting at noon"}));
    EXPECT_EQ(model.Rows()[0].sender, "10010");
    store_.AddMessage(Message(10002, kNoon + 20, QStringLiteral("meeting moved"), kMessageSent));
    EXPECT_EQ(RowTexts(model).first(), "meeting moved");
    model.Search(QString());
    EXPECT_EQ(RowTexts(model), QStringList{"Meeting at noon"});
}

// The window on the offscreen platform.
class MessageManagerWindowTest : public MessageManagerTest {
protected:
    template <class W>
    W* Find(QWidget* window, const QString& name) {
        for (W* w : window->findChildren<W*>())
            if (w->accessibleName() == name)
                return w;
        return nullptr;
    }
    QAction* ActionOf(QWidget* window, int command) {
        for (QAction* a : window->findChildren<QAction*>())
            if (a->data().toInt() == command)
                return a;
        return nullptr;
    }
    static int Count(QTreeView* list) { return list->model()->rowCount(); }
    static QString Cell(QTreeView* list, int row, int column) {
        return list->model()->index(row, column).data().toString();
    }
    static void SelectRow(QTreeView* list, int row) {
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void Shot(QWidget* window, const char* name) { testing::SaveShot(window, name); }
};

TEST_F(MessageManagerWindowTest, ShowsSelectsCopiesExportsAndDeletes) {
    store_.AddMessage(
        Message(10002, kNoon, QStringLiteral("你好，明天一起吃饭吗？"), kMessageSent));
    store_.AddMessage(Message(10002, kNoon + 75, QStringLiteral("好啊，老地方见。\n记得带伞。"),
                              kMessageReceived));
    store_.AddMessage(Message(10002, kNoon + 130, QStringLiteral("好的"), kMessageSent));
    store_.AddMessage(Message(10009, kNoon + 300, QStringLiteral("请问您是？"), kMessageReceived));

    ov::testing::TempHome home;
    ShellDesktop desktop;
    OVShellApp app(QStringLiteral("/opt/orvane/"), QString::fromStdString(home.DataHome()),
                   desktop);
    // The window reads the store it is given; the application's store stays unloaded here.
    auto* window = new MessageManagerWindow(store_, QStringLiteral("alice"));
    QPointer<MessageManagerWindow> guard(window);
    window->show();
    window->SelectPerson(10002);
    auto* list = Find<QTreeView>(window, "消息");
    auto* tree = Find<QTreeWidget>(window, "联系人");
    auto* search = Find<QLineEdit>(window, "查找");
    auto* text = Find<QPlainTextEdit>(window, "消息内容");
    ASSERT_TRUE(list && tree && search && text);
    EXPECT_TRUE(Find<QToolBar>(window, "工具条"));
    ASSERT_EQ(Count(list), 3);
    EXPECT_EQ(list->model()->headerData(3, Qt::Horizontal).toString(), "类型");
    EXPECT_EQ(Cell(list, 1, 1), "鲍勃");
    EXPECT_EQ(tree->currentItem()->text(0), "bob (鲍勃)");
    SelectRow(list, 1);
    EXPECT_EQ(text->toPlainText(), "好啊，老地方见。\n记得带伞。");
    Shot(window, "message_manager");

    ASSERT_TRUE(ActionOf(window, kManagerDelete));
    EXPECT_EQ(ActionOf(window, kManagerDelete)->statusTip(), "删除选中的消息");
    EXPECT_EQ(ActionOf(window, kManagerExport)->text(), "导出");
    ActionOf(window, kManagerSelectAll)->trigger();
    EXPECT_EQ(window->SelectedRows(), (QList<int>{0, 1, 2}));
    ActionOf(window, kManagerCopy)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(),
              "你好，明天一起吃饭吗？\n好啊，老地方见。\n记得带伞。\n好的\n");

    int asked = 0;
    window->SetFileChooser([&](QWidget*) {
        ++asked;
        return dir_ + "/export.txt";
    });
    ActionOf(window, kManagerExport)->trigger();
    EXPECT_EQ(asked, 1);
    QFile exported(dir_ + "/export.txt");
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_EQ(exported.readAll().count("类型:"), 3);

    list->clearSelection();
    SelectRow(list, 0);
    ActionOf(window, kManagerDelete)->trigger();
    ASSERT_EQ(Count(list), 2);
    EXPECT_EQ(Cell(list, 0, 0), "26-12-08 15:05:47");

    search->setText("请问");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(search, &enter);
    ASSERT_EQ(Count(list), 1);
    EXPECT_EQ(Cell(list, 0, 1), "10009");
    Shot(window, "message_manager_search");
    search->clear();
    EXPECT_EQ(Count(list), 2);

    ActionOf(window, kManagerToolBar)->trigger();
    EXPECT_FALSE(Find<QToolBar>(window, "工具条")->isVisible());
    ActionOf(window, kManagerExit)->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
}

TEST_F(MessageManagerWindowTest, OnePerApplication) {
    ov::testing::TempHome home;
    ShellDesktop desktop;
    OVShellApp app(QStringLiteral("/opt/orvane/"), QString::fromStdString(home.DataHome()),
                   desktop);
    ASSERT_TRUE(app.UserData().Load("alice", dir_, 2));
    app.UserData().AddMessage(Message(10004, kNoon, QStringLiteral("hello"), kMessageReceived));
    QPointer<MessageManagerWindow> first = MessageManagerWindow::Open(app);
    MessageManagerWindow* second = MessageManagerWindow::Open(app, 10004);
    EXPECT_EQ(first.data(), second);
    EXPECT_EQ(Count(Find<QTreeView>(second, "消息")), 1);
    second->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    MessageManagerWindow* third = MessageManagerWindow::Open(app);
    EXPECT_NE(third, nullptr);
    delete third;
    app.UserData().Unload();
}

}  // namespace
}  // namespace ov::shell
