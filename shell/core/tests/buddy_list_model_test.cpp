// The buddy list's logic on a whole client (its gateway never answers): the layout built from
// the user's data, counts, sorting, the online-only filter, status changes one item at a
// time, and the context menus with their greyed entries.
#include <QDir>

#include "shell/core/buddy_list_model.h"
#include "shell/core/commands.h"
#include "shell/core/protocol_records.h"
#include "shell/core/tests/buddy_outline.h"
#include "shell/core/tests/flow_fixture.h"

namespace ov::shell::testing {
namespace {

using Model = BuddyListModel;

OV_BUDDY_TREE_NODE GroupNode(quint32 id, const QString& name) {
    OV_BUDDY_TREE_NODE n{};
    n.bIsBuddyGroup = 1;
    n.nBuddyNodeID = id;
    SetText(n.sDisplayName, name);
    return n;
}

OV_BUDDY_TREE_NODE UserNode(quint32 pin, quint32 parent, const QString& name,
                            quint32 status = OV_ONLINE_STATUS_OFFLINE) {
    OV_BUDDY_TREE_NODE n{};
    n.nBuddyNodeID = pin;
    n.nParentBuddyGroupID = parent;
    SetText(n.sUserName, name);
    n.nOnlineStatus = status;
    n.nIcon = 0x0101;
    return n;
}

OV_USER_INFO UserInfo(quint32 pin, const QString& name) {
    OV_USER_INFO u{};
    u.nPin = pin;
    SetText(u.sUserName, name);
    return u;
}

// "text" for an entry, "[x]text" greyed, "*text" checked, "name>" and its entries indented.
QStringList Entries(const QList<Model::MenuEntry>& entries, const QString& indent = {}) {
    QStringList out;
    for (const Model::MenuEntry& e : entries) {
        if (e.IsSeparator()) {
            out << indent + "-";
            continue;
        }
        QString text = e.text + (e.children.isEmpty() ? "" : ">");
        if (e.checked)
            text.prepend("*");
        if (!e.enabled)
            text.prepend("[x]");
        out << indent + text;
        out << Entries(e.children, indent + "  ");
    }
    return out;
}

bool Greyed(Model& m, const QString& text) {
    for (const Model::MenuEntry& e : m.Menu(m.MenuFor(m.Selected()))) {
        if (e.text == text)
            return !e.enabled;
    }
    ADD_FAILURE() << "no entry " << text.toStdString();
    return false;
}

class BuddyListModelTest : public ShellFlowTest {
protected:
    void SetUp() override {
        ShellFlowTest::SetUp();
        client_ = &NewClient("alice");
        client_->WriteGateways({nowhere_.Info()});
        ASSERT_TRUE(Start(*client_));
        time_->RunDue();
        const QString dir = home_ + "/alice-data";
        ASSERT_TRUE(QDir().mkpath(dir));
        ASSERT_TRUE(Data().Load("alice", dir, 2));
    }
    UserDataStore& Data() { return client_->App().UserData(); }
    // The usual tree: two groups, four buddies, one of them online.
    void Usual() {
        Data().ReplaceBuddyTree({GroupNode(2, QStringLiteral("同事")), UserNode(10001, 1, "ann"),
                                 UserNode(10002, 2, "bob", OV_ONLINE_STATUS_ONLINE),
                                 UserNode(10003, 2, "cat"), UserNode(10004, 2, "dan")});
    }

    DeadGateway nowhere_;
    ShellClient* client_ = nullptr;
};

TEST_F(BuddyListModelTest, ATreeInPartsShowsAsOneReplyWithCountsAndTheSpecialGroupsLast) {
    const QList<OV_BUDDY_TREE_NODE> all = {GroupNode(2, QStringLiteral("同事")),
                                           UserNode(10001, 1, "ann"),
                                           UserNode(10002, 2, "bob", OV_ONLINE_STATUS_ONLINE),
                                           UserNode(10003, 2, "cat"),
                                           UserNode(10004, 2, "dan"),
                                           GroupNode(5, QStringLiteral("同学"))};
    Model model(client_->App());
    ASSERT_TRUE(Data().CollectBuddyTree(OV_LISTFLAG_ALL, all));
    const QStringList whole = Outline(model);
    EXPECT_EQ(whole,
              (QStringList{"好友(0/1)", "  [ann]", "同事(1/3)", "  [bob]", "  [cat]", "  [dan]",
                           "同学(0/0)", "待验证好友(0)", "黑名单(0)", "陌生人(0)"}));

    Data().CollectBuddyTree(OV_LISTFLAG_HEAD, all.mid(0, 2));
    Data().CollectBuddyTree(OV_LISTFLAG_BODY, all.mid(2, 2));
    EXPECT_EQ(Outline(model), whole);  // nothing changes before the last part
    ASSERT_TRUE(Data().CollectBuddyTree(OV_LISTFLAG_TAIL, all.mid(4)));
    EXPECT_EQ(Outline(model), whole);

    // Two black-listed users and a stranger; a stranger who is black-listed shows only there.
    Data().AddStranger(20001, "zed", 0);
    Data().AddStranger(20002, "yan", 0);
    Data().ReplaceBlackList({UserInfo(20002, "yan"), UserInfo(20003, "xu")});
    EXPECT_EQ(Outline(model).mid(7),
              (QStringList{"待验证好友(0)", "黑名单(2)", "  xu", "  yan", "陌生人(1)", "  zed"}));
}

TEST_F(BuddyListModelTest, NodesOnTheirWayAreHiddenAndUnansweredOnesWaitUnderTheirOwnGroup) {
    Usual();
    auto put = [&](OV_BUDDY_TREE_NODE node, qint32 state) {
        BuddyNodeRecord r = BuddyNodeRecord::FromKernel(node);
        r.display[0] = state;
        Data().PutNode(r);
    };
    put(UserNode(10005, 1, "eve"), kBuddyRemoving);
    put(UserNode(10006, 1, "fay"), kBuddyAdding);
    put(GroupNode(7, QStringLiteral("旧组")), kBuddyRemoving);
    put(UserNode(10007, 7, "gus"), kBuddyShown);  // its group is going: kept in sight
    put(UserNode(10008, 2, "hal", OV_ONLINE_STATUS_ONLINE), kBuddyAwaitingAnswer);
    Model model(client_->App());
    EXPECT_EQ(Outline(model),
              (QStringList{"好友(0/2)", "  [ann]", "  [gus]", "同事(1/3)", "  [bob]", "  [cat]",
                           "  [dan]", "待验证好友(1)", "  [hal]", "黑名单(0)", "陌生人(0)"}));
    EXPECT_EQ(model.Find(10008)->parent, kAwaitingGroup);
    EXPECT_EQ(model.Find(kBlackListGroup)->image, Model::kImageBlackList);
    EXPECT_EQ(model.Find(kStrangerGroup)->image, Model::kImageStranger);
    EXPECT_EQ(model.Find(kAwaitingGroup)->image, Model::kImageBuddyGroup);
    EXPECT_EQ(model.Find(10005), nullptr);
    EXPECT_EQ(model.Find(7), nullptr);
}

TEST_F(BuddyListModelTest, SortingAndTheOnlineOnlyFilterBringUsersBackInOrder) {
    Data().ReplaceBuddyTree({UserNode(10001, 1, "dan"), UserNode(10002, 1, "bob"),
                             UserNode(10003, 1, "cat", OV_ONLINE_STATUS_DND),
                             UserNode(10004, 1, "ann", OV_ONLINE_STATUS_AWAY),
                             UserNode(10005, 1, "eve", OV_ONLINE_STATUS_ONLINE)});
    Model model(client_->App());
    int resets = 0;
    QObject::connect(&model, &Model::Reset, [&] { ++resets; });
    // By status: online, away, busy, then the others by name.
    EXPECT_EQ(model.Sort(), Model::kSortByStatus);
    EXPECT_EQ(model.Children(1), (QList<qint32>{10005, 10004, 10003, 10002, 10001}));
    model.Command(Model::kCmdSortByName);
    EXPECT_EQ(model.Children(1), (QList<qint32>{10004, 10002, 10003, 10001, 10005}));
    EXPECT_EQ(resets, 1);

    model.Command(Model::kCmdOnlineOnly);
    EXPECT_TRUE(model.OnlineOnly());
    EXPECT_EQ(model.Children(1), (QList<qint32>{10004, 10003, 10005}));
    EXPECT_EQ(model.Find(1)->caption, "好友(3/5)");  // the count still tells all buddies
    // A user going offline leaves the list; coming back puts it at its place.
    Data().SetBuddyStatus(10003, OV_ONLINE_STATUS_OFFLINE);
    EXPECT_EQ(model.Children(1), (QList<qint32>{10004, 10005}));
    Data().SetBuddyStatus(10002, OV_ONLINE_STATUS_ONLINE);
    EXPECT_EQ(model.Children(1), (QList<qint32>{10004, 10002, 10005}));
    model.Command(Model::kCmdShowAll);
    EXPECT_EQ(model.Children(1), (QList<qint32>{10004, 10002, 10003, 10001, 10005}));
    EXPECT_EQ(resets, 3);
    // The view state outlives a new tree.
    Usual();
    EXPECT_TRUE(model.Sort() == Model::kSortByName && !model.OnlineOnly());
}

TEST_F(BuddyListModelTest, AStatusChangeTouchesOneUserAndItsGroupOnly) {
    Usual();
    Model model(client_->App());
    QList<qint32> changed;
    QStringList moves;
    int resets = 0;
    QObject::connect(&model, &Model::ItemChanged, [&](qint32 n) { changed << n; });
    QObject::connect(&model, &Model::Reset, [&] { ++resets; });
    QObject::connect(&model, &Model::UserRemoved,
                     [&](qint32 n) { moves << QString("-%1").arg(n); });
    QObject::connect(&model, &Model::UserInserted, [&](qint32 n, qint32 g, int row) {
        moves << QString("+%1 %2 %3").arg(n).arg(g).arg(row);
    });

    // Away keeps cat's place among the offline? No: it moves up behind bob.
    Data().SetBuddyStatus(10003, OV_ONLINE_STATUS_AWAY);
    EXPECT_EQ(resets, 0);
    EXPECT_EQ(model.Find(2)->caption, "同事(2/3)");
    EXPECT_EQ(model.Find(10003)->status, static_cast<quint32>(OV_ONLINE_STATUS_AWAY));
    EXPECT_TRUE(model.Find(10003)->online);
    EXPECT_EQ(moves, QStringList{});  // second place already
    EXPECT_EQ(changed, (QList<qint32>{10003, 2}));

    // dan coming online overtakes cat: one move within the group.
    changed.clear();
    Data().SetBuddyStatus(10004, OV_ONLINE_STATUS_ONLINE);
    EXPECT_EQ(moves, (QStringList{"-10004", "+10004 2 1"}));
    EXPECT_EQ(changed, QList<qint32>{2});
    EXPECT_EQ(model.Children(2), (QList<qint32>{10002, 10004, 10003}));
    EXPECT_EQ(model.Find(2)->caption, "同事(3/3)");
    EXPECT_EQ(model.Find(1)->caption, "好友(0/1)");  // other groups untouched
    EXPECT_EQ(resets, 0);

    // Invisible counts as offline; a stranger's number means nothing here.
    Data().SetBuddyStatus(10002, OV_ONLINE_STATUS_INVISIBLE);
    EXPECT_EQ(model.Find(2)->caption, "同事(2/3)");
    EXPECT_FALSE(model.Find(10002)->online);
}

TEST_F(BuddyListModelTest, MenusGreyWhatTheItemCannotDo) {
    Usual();
    Data().AddStranger(20001, "zed", 0);
    Data().ReplaceBlackList({UserInfo(20003, "xu")});
    client_->windows.Refuse(Model::kCmdChat);
    client_->windows.Refuse(Model::kCmdMessageManager);
    Model model(client_->App());

    ASSERT_EQ(model.MenuFor(2), Model::MenuKind::Group);
    EXPECT_EQ(Entries(model.Menu(Model::MenuKind::Group)),
              (QStringList{"[x]打开组", "关闭组", "-", "创建新组", "删除组", "重命名", "-",
                           "查找用户", "显示>", "  只显示在线用户", "  *显示所有的用户", "排序>",
                           "  按姓名排序", "  *按状态排序", "-", "[x]消息管理", "刷新"}));
    for (qint32 group : {kDefaultBuddyGroup, kBlackListGroup, kStrangerGroup, kAwaitingGroup}) {
        model.MenuFor(group);
        EXPECT_TRUE(Greyed(model, "重命名")) << group;
        EXPECT_TRUE(Greyed(model, "删除组")) << group;
        EXPECT_FALSE(model.CanRename(group));
    }
    model.MenuFor(kBlackListGroup);  // closed at first
    EXPECT_FALSE(Greyed(model, "打开组"));
    EXPECT_TRUE(Greyed(model, "关闭组"));

    ASSERT_EQ(model.MenuFor(10002), Model::MenuKind::BuddyUser);
    EXPECT_EQ(Entries(model.Menu(Model::MenuKind::BuddyUser)),
              (QStringList{"发消息", "[x]聊天", "传输文件", "-", "重命名", "删除", "用户信息", "-",
                           "查找用户", "显示>", "  只显示在线用户", "  *显示所有的用户", "排序>",
                           "  按姓名排序", "  *按状态排序", "-", "[x]消息管理", "刷新"}));
    model.MenuFor(20003);
    EXPECT_TRUE(Greyed(model, "发消息"));
    EXPECT_TRUE(Greyed(model, "传输文件"));
    EXPECT_TRUE(Greyed(model, "重命名"));
    EXPECT_FALSE(Greyed(model, "删除"));
    model.MenuFor(20001);
    EXPECT_FALSE(Greyed(model, "发消息"));
    EXPECT_TRUE(Greyed(model, "传输文件"));

    ASSERT_EQ(model.MenuFor(0), Model::MenuKind::Null);
    EXPECT_EQ(Entries(model.Menu(Model::MenuKind::Null)),
              (QStringList{"查找用户", "创建新组", "-", "显示>", "  只显示在线用户",
                           "  *显示所有的用户", "排序>", "  按姓名排序", "  *按状态排序", "-",
                           "添加好友", "[x]消息管理", "刷新"}));
}

TEST_F(BuddyListModelTest, CommandsOpenWindowsAndRefuseWhatNeedsTheServer) {
    Usual();
    Data().ReplaceBlackList({UserInfo(20003, "xu")});
    Model model(client_->App());
    WindowRecorder& windows = client_->windows;
    windows.ClearOpened();

    model.Activate(10002);  // a double click
    model.Select(10003);
    model.Command(Model::kCmdUserInfo);
    model.Command(Model::kCmdAddBuddy);
    model.Command(Model::kCmdSendMessage);
    model.Activate(2);  // a group opens and closes in the tree itself
    EXPECT_EQ(windows.Opened(), (QStringList{"userinfo 10002 bob", "userinfo 10003 cat",
                                             "addbuddy 0  0", "send 10003"}));

    QList<std::pair<qint32, bool>> expand;
    QObject::connect(&model, &Model::ExpandRequested, [&](qint32 g, bool open) {
        expand.push_back({g, open});
    });
    model.Select(2);
    model.Command(Model::kCmdCloseGroup);
    EXPECT_FALSE(model.Find(2)->expanded);
    EXPECT_EQ(expand, (QList<std::pair<qint32, bool>>{{2, false}}));
    Usual();
    EXPECT_FALSE(model.Find(2)->expanded);  // kept across a new tree

    // The search goes to the frame.
    model.Command(Model::kCmdSearchUser);
    time_->RunDue();
    EXPECT_EQ(windows.Opened().mid(4), QStringList{QString::number(ID_FUNCTION_SEARCH_USER)});

    // Offline: edits of the tree are refused with a word, and nothing changes.
    client_->prompts.Answer(true);
    model.Select(10002);
    model.Command(Model::kCmdDelete);
    model.Command(Model::kCmdNewGroup);
    EXPECT_FALSE(model.Rename(2, "x"));
    EXPECT_FALSE(model.Drop(10002, 1));
    EXPECT_EQ(client_->prompts.Texts().size(), 5);
    EXPECT_EQ(client_->prompts.Texts().last(),
              QStringLiteral("您还没有登录到服务器，请登录后再试。"));
    EXPECT_EQ(model.Find(10002)->parent, 2);
    EXPECT_EQ(model.Children(2).size(), 3);

    // Dragging: buddies between buddy groups and onto the black list, others into a group.
    EXPECT_TRUE(model.CanDrop(10002, 1));
    EXPECT_TRUE(model.CanDrop(10002, kBlackListGroup));
    EXPECT_FALSE(model.CanDrop(10002, 2));
    EXPECT_FALSE(model.CanDrop(10002, kStrangerGroup));
    EXPECT_TRUE(model.CanDrop(20003, 1));
    EXPECT_FALSE(model.CanDrop(2, 1));
}

}  // namespace
}  // namespace ov::shell::testing
