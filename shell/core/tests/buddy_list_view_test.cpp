// The buddy list in the Starshelf window on the offscreen platform, drawn with the program's
// skin: the tree as a person finds it, its menus, renaming in place, the busy line while the
// tree downloads, and items that follow status changes without the tree being built again.
// ORVANE_WIZARD_SHOTS names a folder for pictures of the window.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>

#include "shell/core/protocol_records.h"
#include "shell/core/tests/flow_fixture.h"
#include "shell/core/widgets/buddy_list_view.h"
#include "shell/core/widgets/starshelf_window.h"
#include "shell/skin/skin_manager.h"
#include "shell/testing/window_shot.h"

namespace ov::shell::testing {
namespace {

OV_BUDDY_TREE_NODE Node(quint32 id, quint32 parent, const QString& name, quint32 status = 0) {
    OV_BUDDY_TREE_NODE n{};
    n.bIsBuddyGroup = id < 1000;
    n.nBuddyNodeID = id;
    n.nParentBuddyGroupID = parent;
    SetText(n.sDisplayName, name);
    if (id >= 1000)
        SetText(n.sUserName, QStringLiteral("u%1").arg(id));
    n.nOnlineStatus = status;
    n.nIcon = 0x0100 + id % 7;
    return n;
}

class BuddyListViewTest : public ShellFlowTest {
protected:
    void TearDown() override {
        window_.reset();
        app_.reset();
        ShellFlowTest::TearDown();
    }
    // A whole application with the program's skin and a user's data loaded.
    OVShellApp& App() {
        skin_.SetBaseDirectory(GetProgramDirectory() + "Skins/");
        EXPECT_TRUE(skin_.Load("orvane"));
        ShellDesktop desktop;
        desktop.prompts = &prompts_;
        desktop.sounds = &sounds_;
        desktop.tray = &tray_;
        desktop.launcher = &launcher_;
        desktop.timers = time_.get();
        desktop.windows = &windows_;
        desktop.clock = time_->Seconds();
        desktop.skin = &skin_;
        desktop.log = [](const QString&) {};
        QDir().mkpath(home_ + "/skinned/alice");
        app_ = std::make_unique<OVShellApp>(QString::fromStdString(GetProgramDirectory()),
                                            home_ + "/skinned", std::move(desktop));
        EXPECT_TRUE(app_->Start());
        kernels_ += 1;
        time_->SetWaiters(3 * kernels_);
        time_->RunDue();
        EXPECT_TRUE(app_->UserData().Load("alice", home_ + "/skinned/alice", 2));
        return *app_;
    }
    void Shot(const char* name) { SaveShot(window_.get(), name); }

    OVSkin skin_;
    PromptRecorder prompts_;
    SoundRecorder sounds_;
    TrayRecorder tray_;
    LaunchRecorder launcher_;
    WindowRecorder windows_;
    std::unique_ptr<OVShellApp> app_;
    std::unique_ptr<StarshelfWindow> window_;
};

QStringList Texts(QTreeWidgetItem* parent) {
    QStringList out;
    for (int i = 0; i < parent->childCount(); ++i)
        out << parent->child(i)->text(0);
    return out;
}

QStringList Entries(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            continue;
        out << (a->isEnabled() ? "" : "[x]") + a->text() + (a->menu() ? ">" : "");
    }
    return out;
}

TEST_F(BuddyListViewTest, TheTreeShowsTheListAndFollowsItsUser) {
    OVShellApp& app = App();
    windows_.Refuse(BuddyListModel::kCmdChat);
    window_ = std::make_unique<StarshelfWindow>(app);
    window_->SetTitle(QStringLiteral("alice(在线)"));
    window_->SetStatusIcon("sStatusOnline");
    window_->show();
    BuddyListView* list = window_->BuddyList();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->accessibleName(), QStringLiteral("好友列表"));

    // While the tree downloads a busy line stands above it.
    window_->ShowTreeProgress(true);
    auto* bar = window_->findChild<QProgressBar*>();
    ASSERT_TRUE(bar);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->accessibleName(), QStringLiteral("正在获取好友列表……"));
    Shot("buddylist-downloading");
    window_->ShowTreeProgress(false);
    EXPECT_FALSE(bar->isVisible());

    app.UserData().ReplaceBuddyTree(
        {Node(2, 0, QStringLiteral("同事")), Node(10001, 1, QStringLiteral("小明"), 0xFFFF),
         Node(10002, 1, QStringLiteral("王芳"), OV_ONLINE_STATUS_AWAY),
         Node(10003, 1, QStringLiteral("李雷")), Node(10004, 2, QStringLiteral("韩梅梅"), 1),
         Node(10005, 2, QStringLiteral("张伟")), Node(10006, 2, QStringLiteral("刘洋"))});
    OV_USER_INFO black{};
    black.nPin = 20001;
    SetText(black.sUserName, QStringLiteral("spam"));
    app.UserData().ReplaceBlackList({black});
    app.UserData().AddStranger(20002, QStringLiteral("路人甲"), 0x0103);
    list->ItemOf(kBlackListGroup)->setExpanded(true);
    list->ItemOf(kStrangerGroup)->setExpanded(true);

    ASSERT_EQ(list->topLevelItemCount(), 5);
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("好友(2/3)"));
    EXPECT_EQ(
        Texts(list->topLevelItem(0)),
        (QStringList{QStringLiteral("小明"), QStringLiteral("王芳"), QStringLiteral("李雷")}));
    EXPECT_EQ(list->topLevelItem(1)->text(0), QStringLiteral("同事(1/3)"));
    EXPECT_EQ(list->topLevelItem(3)->text(0), QStringLiteral("黑名单(1)"));
    EXPECT_FALSE(list->topLevelItem(0)->icon(0).isNull());
    EXPECT_FALSE(list->ItemOf(10001)->icon(0).isNull());
    EXPECT_EQ(list->ItemOf(10001)->toolTip(0), QStringLiteral("小明/u10001"));
    Shot("buddylist");

    // A status change redraws one item and one count; the other items stay the same objects.
    QTreeWidgetItem* before = list->ItemOf(10005);
    list->setCurrentItem(list->ItemOf(10003));
    app.UserData().SetBuddyStatus(10003, OV_ONLINE_STATUS_ONLINE);
    EXPECT_EQ(list->ItemOf(10005), before);
    EXPECT_EQ(list->currentItem(), list->ItemOf(10003));  // it moved up, still selected
    EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("好友(3/3)"));
    EXPECT_EQ(
        Texts(list->topLevelItem(0)),
        (QStringList{QStringLiteral("李雷"), QStringLiteral("小明"), QStringLiteral("王芳")}));

    // The menus as they pop up.
    QMenu* menu = list->ContextMenu(20001);
    EXPECT_EQ(Entries(menu),
              (QStringList{"[x]发消息", "[x]聊天", "[x]传输文件", "[x]重命名", "删除", "用户信息",
                           "查找用户", "显示>", "排序>", "消息管理", "刷新"}));
    EXPECT_EQ(list->currentItem(), list->ItemOf(20001));
    menu = list->ContextMenu(1);
    EXPECT_EQ(menu->actions().value(0)->text(), QStringLiteral("打开组"));
    // Choosing "按姓名排序" sorts by name.
    QMenu* sort = nullptr;
    for (QAction* a : menu->actions())
        if (a->menu() && a->text() == QStringLiteral("排序"))
            sort = a->menu();
    ASSERT_TRUE(sort);
    sort->actions().value(0)->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(Texts(list->ItemOf(1)), (QStringList{QStringLiteral("李雷"), QStringLiteral("王芳"),
                                                   QStringLiteral("小明")}));

    // Renaming in place starts from the bare name, without the count.
    app.UserData().PutNode(BuddyNodeRecord::FromKernel(Node(3, 0, QStringLiteral("家人"))));
    list->Model().Select(3);
    list->Model().Command(BuddyListModel::kCmdRename);
    auto* editor = list->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    EXPECT_EQ(editor->text(), QStringLiteral("家人"));
    EXPECT_EQ(editor->selectedText(), QStringLiteral("家人"));
    Shot("buddylist-rename");

    // A double click on a user, or Enter, opens the user's information; Delete asks first.
    windows_.ClearOpened();
    Q_EMIT list->itemDoubleClicked(list->ItemOf(10004), 0);
    list->setCurrentItem(list->ItemOf(10005));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(list, &enter);
    EXPECT_EQ(windows_.Opened(), (QStringList{QStringLiteral("userinfo 10004 u10004"),
                                              QStringLiteral("userinfo 10005 u10005")}));
    prompts_.Clear();
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(list, &del);
    EXPECT_EQ(prompts_.Texts(), QStringList{QStringLiteral("确定要删除好友“张伟”吗？")});
    EXPECT_TRUE(list->ItemOf(10005));
}

// Faces and group icons are drawn once for each look: buddies of one face and status share
// the picture, a new status gives the new one, and another skin draws everything again.
TEST_F(BuddyListViewTest, KeptIconsFollowTheLookAndTheSkin) {
    OVShellApp& app = App();
    window_ = std::make_unique<StarshelfWindow>(app);
    window_->show();
    BuddyListView* list = window_->BuddyList();
    // One face for all three (the face number follows the PIN).
    app.UserData().ReplaceBuddyTree({Node(10001, 1, QStringLiteral("甲"), OV_ONLINE_STATUS_ONLINE),
                                     Node(10008, 1, QStringLiteral("乙"), OV_ONLINE_STATUS_ONLINE),
                                     Node(10015, 1, QStringLiteral("丙"))});
    auto image = [&](qint32 number) { return list->ItemOf(number)->icon(0).pixmap(24).toImage(); };
    EXPECT_EQ(image(10001), image(10008));
    EXPECT_NE(image(10001), image(10015));  // offline, faded

    app.UserData().SetBuddyStatus(10015, OV_ONLINE_STATUS_ONLINE);
    EXPECT_EQ(image(10015), image(10001));
    app.UserData().SetBuddyStatus(10008, OV_ONLINE_STATUS_AWAY);
    EXPECT_NE(image(10008), image(10001));
    app.UserData().SetBuddyStatus(10008, OV_ONLINE_STATUS_ONLINE);
    EXPECT_EQ(image(10008), image(10001));

    const QImage group = image(kDefaultBuddyGroup);
    ASSERT_TRUE(skin_.Load("slate"));
    app.UserData().SetBuddyStatus(10001, OV_ONLINE_STATUS_OFFLINE);  // redraws the group
    EXPECT_NE(image(kDefaultBuddyGroup), group);
}

}  // namespace
}  // namespace ov::shell::testing
