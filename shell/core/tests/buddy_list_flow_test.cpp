// The buddy list of two logged-in clients against the reference server: a buddy's status
// change reaches the other's list, and the list's edits of the tree (new group, renaming,
// moving a buddy, deleting the group, black-listing) are what the server keeps.
#include "shell/core/bstr_text.h"
#include "shell/core/buddy_list_model.h"
#include "shell/core/commands.h"
#include "shell/core/login_dialog_model.h"
#include "shell/core/protocol_records.h"
#include "shell/core/tests/buddy_outline.h"
#include "shell/core/tests/flow_fixture.h"

namespace ov::shell::testing {
namespace {

using Model = BuddyListModel;

class BuddyListFlow : public ShellFlowTest {
protected:
    ShellClient& LoggedIn(const QString& name) {
        EXPECT_EQ(Register(name, "pw-" + name), name);
        ShellClient& c = NewClient(name);
        c.WriteGateways({Server()});
        EXPECT_TRUE(Start(c));
        time_->RunDue();
        LoginDialogModel dialog(c.App());
        EXPECT_EQ(dialog.Accept(name, "pw-" + name, 0, 2, true),
                  LoginDialogModel::Outcome::Accepted);
        EXPECT_TRUE(time_->RunUntil([&] { return c.Frame().LoggedInToServer(); }));
        return c;
    }
    // Asks the server for the tree again through the list and waits for all of it: what the
    // list shows afterwards is what the server keeps.
    void FromServer(ShellClient& c, Model& model) {
        int trees = 0;
        int blacks = 0;
        const auto connection =
            QObject::connect(&c.App().UserData(), &UserDataStore::Notified, [&](int code, qint64) {
                trees += code == kUserDataTreeReceived;
                blacks += code == kUserDataBlackList;
            });
        model.Command(Model::kCmdRefresh);
        EXPECT_TRUE(time_->RunUntil([&] { return trees > 0 && blacks > 0; }));
        QObject::disconnect(connection);
    }
};

TEST_F(BuddyListFlow, TheListFollowsStatusesAndKeepsItsEditsOnTheServer) {
    StartServer();
    ShellClient& kai = LoggedIn("kai");
    ShellClient& lin = LoggedIn("lin");
    const qint32 linPin = lin.Frame().OwnPin();
    Model list(kai.App());

    // lin becomes kai's buddy (the add-buddy wizard's command, given here directly).
    {
        KernelWatch watch(kai.App().Kernel());
        LONG seq = 0;
        kai.App().Kernel()->AddUserToBuddyTree(linPin, Bstr::Empty(), Bstr::Empty(), 0, 1, &seq);
        ASSERT_NE(seq, 0);
        ASSERT_TRUE(time_->RunUntil(
            [&] { return !watch.Named(OV_DISPID_ON_ADD_USER_TO_BUDDY_TREE_REPLY).empty(); }));
        ASSERT_EQ(watch.Named(OV_DISPID_ON_ADD_USER_TO_BUDDY_TREE_REPLY)[0].args[1].value,
                  OV_ERR_NONE);
    }
    FromServer(kai, list);
    ASSERT_TRUE(list.Find(linPin));
    EXPECT_EQ(list.Find(linPin)->parent, kDefaultBuddyGroup);
    EXPECT_TRUE(list.Find(linPin)->online);
    EXPECT_EQ(list.Find(1)->caption, "好友(1/1)");

    // lin's status change shows in kai's list as soon as its event arrives.
    {
        int changes = 0;
        QObject::connect(&list, &Model::ItemChanged, [&](qint32 n) { changes += n == linPin; });
        lin.Frame().Command(ID_STATUS_DND);
        ASSERT_TRUE(time_->RunUntil([&] { return changes > 0; }));
        EXPECT_EQ(list.Find(linPin)->status, static_cast<quint32>(OV_ONLINE_STATUS_DND));
        lin.Frame().Command(ID_STATUS_OFFLINE);
        ASSERT_TRUE(time_->RunUntil([&] { return !list.Find(linPin)->online; }));
        EXPECT_EQ(list.Find(1)->caption, "好友(0/1)");
    }

    // A new group, named in place.
    qint32 edited = 0;
    QObject::connect(&list, &Model::EditRequested, [&](qint32 n) { edited = n; });
    list.Select(0);
    list.Command(Model::kCmdNewGroup);
    ASSERT_EQ(edited, 2);
    EXPECT_EQ(list.Find(2)->caption, "新建组(0/0)");
    ASSERT_TRUE(list.Rename(2, QStringLiteral(" 同事 ")));
    EXPECT_EQ(list.Find(2)->caption, "同事(0/0)");
    // lin moves there by dragging.
    ASSERT_TRUE(list.CanDrop(linPin, 2));
    ASSERT_TRUE(list.Drop(linPin, 2));
    EXPECT_EQ(list.Find(linPin)->parent, 2);
    FromServer(kai, list);
    EXPECT_EQ(Outline(list), (QStringList{"好友(0/0)", "同事(0/1)", "  [lin]", "待验证好友(0)",
                                          "黑名单(0)", "陌生人(0)"}));
    EXPECT_TRUE(kai.prompts.Texts().isEmpty());

    // A move the server refuses (it knows no such buddy) is undone and told.
    OV_BUDDY_TREE_NODE ghost{};
    ghost.nBuddyNodeID = 99999;
    ghost.nParentBuddyGroupID = kDefaultBuddyGroup;
    SetText(ghost.sUserName, QStringLiteral("ghost"));
    kai.App().UserData().PutNode(BuddyNodeRecord::FromKernel(ghost));
    ASSERT_TRUE(list.Drop(99999, 2));
    EXPECT_EQ(list.Find(99999)->parent, 2);
    ASSERT_TRUE(time_->RunUntil([&] { return !kai.prompts.Texts().isEmpty(); }));
    EXPECT_EQ(kai.prompts.Texts(), QStringList{QStringLiteral("移动好友“[ghost]”失败！")});
    EXPECT_EQ(list.Find(99999)->parent, kDefaultBuddyGroup);

    // Deleting the group asks first and leaves lin in the default group, as the server does.
    kai.prompts.Answer(false);
    list.Select(2);
    list.Command(Model::kCmdDeleteGroup);
    EXPECT_TRUE(list.Find(2));
    kai.prompts.Answer(true);
    list.Command(Model::kCmdDeleteGroup);
    EXPECT_EQ(kai.prompts.Texts().last(),
              QStringLiteral("确定要删除组“同事”吗？组中的1位好友将移到“好友”组。"));
    EXPECT_FALSE(list.Find(2));
    EXPECT_EQ(list.Find(linPin)->parent, kDefaultBuddyGroup);
    ASSERT_TRUE(time_->RunUntil([&] { return !kai.App().UserData().FindGroup(2); }));
    FromServer(kai, list);
    EXPECT_EQ(Outline(list),
              (QStringList{"好友(0/1)", "  [lin]", "待验证好友(0)", "黑名单(0)", "陌生人(0)"}));

    // lin dragged onto the black list: no longer a buddy, listed there.
    kai.prompts.Answer(true);
    ASSERT_TRUE(list.Drop(linPin, kBlackListGroup));
    ASSERT_TRUE(time_->RunUntil([&] {
        const Model::Item* item = list.Find(linPin);
        return item && item->parent == kBlackListGroup;
    }));
    FromServer(kai, list);
    EXPECT_EQ(Outline(list),
              (QStringList{"好友(0/0)", "待验证好友(0)", "黑名单(1)", "  lin", "陌生人(0)"}));
    EXPECT_TRUE(kai.App().UserData().IsBlackListed(linPin));
    EXPECT_EQ(kai.prompts.Texts().size(), 4);  // the questions only: nothing else failed

    // Deleting the entry takes lin off the black list on the server.
    kai.prompts.Answer(true);
    list.Select(linPin);
    list.Command(Model::kCmdDelete);
    ASSERT_TRUE(time_->RunUntil([&] { return !list.Find(linPin); }));
    FromServer(kai, list);
    EXPECT_EQ(list.Find(kBlackListGroup)->caption, "黑名单(0)");
}

}  // namespace
}  // namespace ov::shell::testing
