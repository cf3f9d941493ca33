// The add-buddy wizard and the request window with replies given by hand: the welcome page's
// checks, the lookup by name, the checks before the addition, each reply's page and node, the
// verification text's limit, the later answer, stale and failed commands. The clients log in
// to the reference server, which then goes away, so that only these replies arrive.
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "shell/core/hidden_frame.h"
#include "shell/wizards/tests/add_buddy_fixture.h"

namespace ov::shell::testing {
namespace {

constexpr qint32 kOther = 10999;  // a user the test pretends exists

class AddBuddyPages : public AddBuddyTest {
protected:
    // The user "alice" logged in; the server gone unless kept.
    ShellClient& Alice(bool keepServer = false) {
        StartServer();
        alicePin_ = RegisterUser("alice");
        EXPECT_NE(alicePin_, 0);
        ShellClient& c = LogIn("alice");
        EXPECT_EQ(c.Frame().OwnPin(), alicePin_);
        if (!keepServer)
            StopServer();
        return c;
    }
    // From the choose-group page to the adding page; the addition's number.
    LONG Add() {
        Click("下一步");
        EXPECT_EQ(Page(), Model::kAdding) << Boxes().join('|').toStdString();
        EXPECT_NE(M().Outstanding(), 0);
        return M().Outstanding();
    }
    void Reply(OVErrorCodeEnum error, LONG seq = 0) {
        M().OnAddUserToBuddyTreeReply(seq != 0 ? seq : M().Outstanding(), error, kOther);
        QCoreApplication::processEvents();
    }
    void UserInfoReply(LONG seq, OVErrorCodeEnum error, qint32 pin, const char* name) {
        OV_USER_INFO u;
        std::memset(&u, 0, sizeof u);
        u.nPin = static_cast<uint32_t>(pin);
        std::strcpy(u.sUserName, name);
        std::strcpy(u.sNickName, "Bobby");
        u.nIcon = 0x0105;
        M().OnRequestUserInfoReply(seq, error,
                                   std::string_view(reinterpret_cast<char*>(&u), sizeof u));
        QCoreApplication::processEvents();
    }
    void PutBuddy(ShellClient& c, qint32 pin, qint32 state) {
        OV_BUDDY_TREE_NODE n{};
        n.nBuddyNodeID = static_cast<uint32_t>(pin);
        n.nParentBuddyGroupID = 1;
        BuddyNodeRecord r = BuddyNodeRecord::FromKernel(n);
        r.display[0] = state;
        c.App().UserData().PutNode(r);
    }
    void PutGroup(ShellClient& c, qint32 id, const QString& name) {
        OV_BUDDY_TREE_NODE n{};
        n.bIsBuddyGroup = 1;
        n.nBuddyNodeID = static_cast<uint32_t>(id);
        SetText(n.sDisplayName, name);
        c.App().UserData().PutNode(BuddyNodeRecord::FromKernel(n));
    }
    QString Lookup() {
        for (QLabel* l : wizard_->findChildren<QLabel*>())
            if (l->isVisible() && (l->text().startsWith("正在") || l->text().startsWith("你想")))
                return l->text();
        return {};
    }

    qint32 alicePin_ = 0;
};

TEST_F(AddBuddyPages, TheWelcomePageTakesANumberFrom10000OrANonEmptyName) {
    ShellClient& c = Alice();
    OpenWizard();
    EXPECT_EQ(wizard_->windowTitle(), "添加好友");
    EXPECT_EQ(Page(), Model::kWelcome);
    EXPECT_TRUE(Named<QRadioButton>("通过用户名")->isChecked());
    EXPECT_FALSE(Enabled("上一步"));
    EXPECT_FALSE(Enabled("完成"));

    Click("通过Orvane号码");
    for (const char* refused : {"9999", "", "abc", "-10000", "4294977296", "10 000"}) {
        Type("Orvane号码", refused);
        Click("下一步");
        EXPECT_EQ(Page(), Model::kWelcome) << refused;
        ASSERT_EQ(c.prompts.Boxes().size(), 1u) << refused;
        EXPECT_EQ(c.prompts.Boxes()[0].text, "这是一个非法的OV号码!!");
        EXPECT_EQ(c.prompts.Boxes()[0].caption, "Orvane提示");
        c.prompts.Clear();
    }
    Type("Orvane号码", " 10000 ");
    Click("下一步");
    ASSERT_EQ(Page(), Model::kChooseGroup);
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_EQ(M().TargetPin(), 10000);
    // A number needs no lookup.
    EXPECT_EQ(M().Outstanding(), 0);
    EXPECT_TRUE(Named<QLabel>("添加-10000-用户到你的好友列表中")->isVisible());
    EXPECT_TRUE(Enabled("下一步"));

    Click("上一步");
    Click("通过用户名");
    for (const char* refused : {"", "   "}) {
        Type("用户名", refused);
        Click("下一步");
        EXPECT_EQ(Page(), Model::kWelcome);
        ASSERT_EQ(c.prompts.Boxes().size(), 1u);
        EXPECT_EQ(c.prompts.Boxes()[0].text, "请输入正确的用户名!!");
        EXPECT_EQ(c.prompts.Boxes()[0].caption, "Orvane提示");
        c.prompts.Clear();
    }
}

TEST_F(AddBuddyPages, ANameIsLookedUpAndOnlyItsOwnReplyFindsTheUser) {
    ShellClient& c = Alice();
    PutGroup(c, 5, "同学");
    PutGroup(c, 7, "同事");
    OpenWizard();
    Type("用户名", "bob");
    Click("下一步");
    ASSERT_EQ(Page(), Model::kChooseGroup);
    EXPECT_EQ(Lookup(), "正在获得好友的具体信息");
    EXPECT_FALSE(Enabled("下一步"));
    const LONG seq = M().Outstanding();
    ASSERT_NE(seq, 0);
    // The groups: "好友" first and chosen, then the tree's, in order.
    auto* groups = Named<QComboBox>("请选择加入的组:");
    ASSERT_EQ(groups->count(), 3);
    EXPECT_EQ(groups->itemText(0), "好友");
    EXPECT_EQ(groups->itemText(1), "同学");
    EXPECT_EQ(groups->itemText(2), "同事");
    EXPECT_EQ(groups->currentIndex(), 0);

    // Another command's reply finds nobody.
    UserInfoReply(seq + 1, OV_ERR_NONE, kOther, "bob");
    EXPECT_EQ(M().TargetPin(), 0);
    EXPECT_FALSE(Enabled("下一步"));

    UserInfoReply(seq, OV_ERR_USR_NOT_EXIST, 0, "");
    EXPECT_EQ(Lookup(), "你想添加为好友的用户不存在!");
    EXPECT_FALSE(Enabled("下一步"));
    EXPECT_EQ(M().TargetPin(), 0);

    // Corrected: a new lookup, whose reply sets the user.
    Click("上一步");
    Type("用户名", "bobby");
    Click("下一步");
    ASSERT_NE(M().Outstanding(), 0);
    UserInfoReply(M().Outstanding(), OV_ERR_NONE, kOther, "bobby");
    EXPECT_EQ(Lookup(), "");
    EXPECT_TRUE(Enabled("下一步"));
    EXPECT_EQ(M().TargetPin(), kOther);
    EXPECT_EQ(M().TargetDisplayName(), "Bobby");
    EXPECT_EQ(M().TargetIcon(), 0x0105);
    EXPECT_TRUE(Named<QLabel>("添加-bobby-用户到你的好友列表中")->isVisible());

    // The chosen group goes with the addition; the node waits unseen meanwhile.
    Choose("请选择加入的组:", 2);
    Add();
    const auto node = c.App().UserData().FindBuddy(kOther);
    ASSERT_TRUE(node.has_value());
    EXPECT_EQ(node->display[0], kBuddyAdding);
    EXPECT_EQ(node->node.nParentBuddyGroupID, 7u);
    EXPECT_EQ(RecordText(node->node.sDisplayName), "Bobby");
    EXPECT_EQ(RecordText(node->node.sUserName), "bobby");
}

TEST_F(AddBuddyPages, OneselfABlackListedUserOrABuddyIsNeverSent) {
    ShellClient& c = Alice(/*keepServer=*/true);
    const qint32 bob = RegisterUser("bob");
    const qint32 carol = RegisterUser("carol");
    const qint32 dave = RegisterUser("dave");
    OV_USER_INFO black;
    std::memset(&black, 0, sizeof black);
    black.nPin = static_cast<uint32_t>(carol);
    c.App().UserData().ReplaceBlackList({black});
    PutBuddy(c, dave, kBuddyShown);
    KernelWatch watch(c.App().Kernel());
    auto additions = [&] {
        int n = 0;
        for (const auto& e : watch.Named(OV_DISPID_ON_COMMAND_SEND))
            n += e.args[1].value == OV_CCMD_BUDDY_ADD ? 1 : 0;
        return n;
    };

    const struct {
        qint32 pin;
        const char* box;
    } refused[] = {
        {alicePin_, "不能添加自己为好友!"},
        {carol, "该用户在你的黑名单中,不能添加为好友!"},
        {dave, "该用户已经是你的好友!"},
    };
    for (const auto& r : refused) {
        OpenFor(c, r.pin);
        Click("下一步");
        EXPECT_EQ(Page(), Model::kChooseGroup) << r.box;
        ASSERT_EQ(c.prompts.Boxes().size(), 1u) << r.box;
        EXPECT_EQ(c.prompts.Boxes()[0].text, r.box);
        EXPECT_EQ(c.prompts.Boxes()[0].caption, "Orvane提示");
        c.prompts.Clear();
        EXPECT_EQ(M().Outstanding(), 0);
        Click("取消");
        EXPECT_TRUE(Closed());
    }
    // By name too: the logged-in user's own.
    OpenWizard();
    Type("用户名", "alice");
    Click("下一步");
    ASSERT_TRUE(time_->RunUntil([&] { return Enabled("下一步"); }));
    Click("下一步");
    EXPECT_EQ(Boxes(), QStringList{"不能添加自己为好友!"});
    Click("取消");
    // The shown buddy's node is untouched; carol never entered the tree.
    EXPECT_EQ(NodeState(c, dave), kBuddyShown);
    EXPECT_EQ(NodeState(c, carol), -1);

    // A node being added by another wizard: this one stays, silently.
    PutBuddy(c, bob, kBuddyAdding);
    OpenFor(c, bob);
    Click("下一步");
    EXPECT_EQ(Page(), Model::kChooseGroup);
    EXPECT_TRUE(Boxes().isEmpty());
    time_->Advance(1000);
    time_->RunUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(additions(), 0);

    // One awaiting an answer (or being removed) is replaced by this addition, which is sent.
    PutBuddy(c, bob, kBuddyAwaitingAnswer);
    Click("下一步");
    EXPECT_NE(Page(), Model::kChooseGroup);
    ASSERT_TRUE(time_->RunUntil([&] { return additions() == 1; }));
    ASSERT_TRUE(time_->RunUntil([&] { return Page() == Model::kSucceeded; }));
    EXPECT_EQ(NodeState(c, bob), kBuddyShown);
}

TEST_F(AddBuddyPages, EachReplyLeadsToItsPageAndLeavesTheNodeAsItSays) {
    ShellClient& c = Alice();
    const struct {
        OVErrorCodeEnum error;
        int page;
        int node;
    } replies[] = {
        {OV_ERR_NONE, Model::kSucceeded, kBuddyShown},
        {OV_ERR_ADD_BUDDY_NOMSG, Model::kVerification, kBuddyAdding},
        {OV_ERR_BUDDY_AUTH, Model::kVerificationSent, kBuddyAwaitingAnswer},
        {OV_ERR_BUDDY_DENY, Model::kRefused, -1},
        {OV_ERR_USR_NOT_EXIST, Model::kFailed, -1},
        {OV_ERR_TIME_OUT, Model::kFailed, -1},
        {OV_ERR_USER_CANCELED, Model::kFailed, -1},
    };
    for (const auto& r : replies) {
        c.App().UserData().RemoveBuddy(kOther);
        OpenFor(c, kOther, "olga");
        EXPECT_TRUE(Named<QLabel>("添加-olga-用户到你的好友列表中")->isVisible());
        // Opened for a user: no welcome page behind it.
        EXPECT_FALSE(Enabled("上一步"));
        const LONG seq = Add();
        EXPECT_EQ(NodeState(c, kOther), kBuddyAdding);
        EXPECT_FALSE(Enabled("下一步"));
        EXPECT_TRUE(Enabled("取消"));
        // Stale replies of earlier additions change nothing.
        Reply(OV_ERR_NONE, seq - 1);
        Reply(OV_ERR_BUDDY_DENY, seq + 1);
        ASSERT_EQ(Page(), Model::kAdding);

        Reply(r.error, seq);
        ASSERT_EQ(Page(), r.page) << r.error;
        EXPECT_EQ(NodeState(c, kOther), r.node) << r.error;
        EXPECT_EQ(M().Outstanding(), 0);
        // A second reply to the same command changes nothing.
        Reply(OV_ERR_NONE, seq);
        EXPECT_EQ(Page(), r.page) << r.error;
        const bool over = r.page != Model::kVerification;
        EXPECT_EQ(Enabled("完成"), over) << r.error;
        EXPECT_EQ(Enabled("取消"), !over) << r.error;
        EXPECT_EQ(Enabled("上一步"), r.page == Model::kFailed) << r.error;
        (over ? Click("完成") : Click("取消"));
        EXPECT_TRUE(Closed());
        // Closing gives up a node still being added, and keeps the others.
        EXPECT_EQ(NodeState(c, kOther), r.node == kBuddyAdding ? -1 : r.node) << r.error;
    }
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(AddBuddyPages, AVerificationTextOfAtMost400BytesGoesOutAndTheAnswerEndsTheWizard) {
    ShellClient& c = Alice();
    UserDataStore& data = c.App().UserData();
    const QString exact(200, QChar(0x4F60));  // 200 x "你": 400 bytes in code page 936
    for (const bool accepted : {true, false}) {
        OpenFor(c, kOther);
        Add();
        // An answer before the verification went out is not this wizard's.
        data.BuddyAnswered(kOther, true);
        EXPECT_EQ(Page(), Model::kAdding);
        Reply(OV_ERR_ADD_BUDDY_NOMSG);
        ASSERT_EQ(Page(), Model::kVerification);
        for (const QString& tooLong : {exact + "a", QString(401, 'a')}) {
            TypeVerification(tooLong);
            Click("下一步");
            EXPECT_EQ(Page(), Model::kVerification);
            ASSERT_EQ(c.prompts.Boxes().size(), 1u);
            EXPECT_EQ(c.prompts.Boxes()[0].text, "你输入的验证消息太长!");
            EXPECT_EQ(c.prompts.Boxes()[0].caption, "Orvane提示");
            c.prompts.Clear();
            EXPECT_EQ(M().Outstanding(), 0);
        }
        TypeVerification(exact);
        Add();
        Reply(OV_ERR_BUDDY_AUTH);
        ASSERT_EQ(Page(), Model::kVerificationSent);
        EXPECT_EQ(NodeState(c, kOther), kBuddyAwaitingAnswer);
        // Someone else's answer.
        data.BuddyAnswered(kOther + 1, true);
        data.BuddyAnswered(kOther + 1, false);
        EXPECT_EQ(Page(), Model::kVerificationSent);

        data.BuddyAnswered(kOther, accepted);
        EXPECT_EQ(Page(), accepted ? Model::kSucceeded : Model::kRefused);
        EXPECT_EQ(NodeState(c, kOther), accepted ? kBuddyShown : -1);
        Click("完成");
        EXPECT_TRUE(Closed());
        data.RemoveBuddy(kOther);
    }
}

TEST_F(AddBuddyPages, ACommandThatNeverArrivesFailsAndBackTriesAgain) {
    ShellClient& c = Alice();
    OpenFor(c, kOther);
    const LONG seq = Add();
    M().OnCommandSendError(seq + 1, OV_ERR_TIME_OUT);
    EXPECT_EQ(Page(), Model::kAdding);
    M().OnCommandSendError(seq, OV_ERR_TIME_OUT);
    ASSERT_EQ(Page(), Model::kFailed);
    EXPECT_TRUE(Named<QLabel>("无法连接服务器，请检查您的网络连接！")->isVisible());
    EXPECT_EQ(NodeState(c, kOther), -1);
    Click("上一步");
    ASSERT_EQ(Page(), Model::kChooseGroup);
    const LONG again = Add();
    EXPECT_NE(again, seq);
    Reply(OV_ERR_NONE, again);
    EXPECT_EQ(Page(), Model::kSucceeded);

    // The lookup of a name too.
    Click("完成");
    OpenWizard();
    Type("用户名", "bob");
    Click("下一步");
    M().OnCommandSendError(M().Outstanding(), OV_ERR_TIME_OUT);
    EXPECT_EQ(Page(), Model::kFailed);
}

TEST_F(AddBuddyPages, OneWizardPerUserAndNoneForANumberBelow10000) {
    ShellClient& c = Alice();
    OVShellApp& app = c.App();
    EXPECT_EQ(AddBuddyWizard::Open(app, 9999, "x", 0), nullptr);
    AddBuddyWizard* first = AddBuddyWizard::Open(app, kOther, "olga", 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(AddBuddyWizard::Open(app, kOther, "olga", 0), first);
    AddBuddyWizard* other = AddBuddyWizard::Open(app, kOther + 1, "", 0);
    EXPECT_NE(other, first);
    // Without a number: a new wizard each time, the name typed in.
    AddBuddyWizard* byName = AddBuddyWizard::Open(app, 0, "olga", 0);
    EXPECT_NE(byName, AddBuddyWizard::Open(app, 0, QString(), 0));
    EXPECT_EQ(byName->Model().CurrentPage(), Model::kWelcome);
    wizard_ = byName;
    EXPECT_EQ(Named<QLineEdit>("用户名")->text(), "olga");
    // A wizard that found its user by number counts for that user.
    Click("通过Orvane号码");
    Type("Orvane号码", QString::number(kOther + 2));
    Click("下一步");
    EXPECT_EQ(AddBuddyWizard::Open(app, kOther + 2, "", 0), byName);
    // A closed one does not.
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    AddBuddyWizard* again = AddBuddyWizard::Open(app, kOther, "olga", 0);
    EXPECT_NE(again, nullptr);
    EXPECT_FALSE(again->Model().Ended());
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<AddBuddyWizard*>(w) != nullptr)
            w->close();
    EXPECT_TRUE(Closed());
}

// The request window.

class BuddyRequestPages : public AddBuddyPages {
protected:
    BuddyRequestWindow& OpenRequest(ShellClient& c, const PendingItem& item) {
        request_ = BuddyRequestWindow::Open(c.App(), item);
        return *request_;
    }
    QPushButton* Button(const QString& name) {
        for (QPushButton* b : request_->findChildren<QPushButton*>())
            if (b->accessibleName() == name)
                return b;
        ADD_FAILURE() << "no button " << name.toStdString();
        return nullptr;
    }
    bool RequestClosed() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return request_.isNull();
    }
    void TearDown() override {
        delete request_.data();
        AddBuddyPages::TearDown();
    }
    QPointer<BuddyRequestWindow> request_;
};

TEST_F(BuddyRequestPages, AnAnswerIsSentOnceAndTheWindowClosesWhenItIsDelivered) {
    ShellClient& c = Alice();
    BuddyRequestWindow& w = OpenRequest(c, RequestFrom(kOther, "olga", "我是你的同学"));
    EXPECT_EQ(w.windowTitle(), "添加好友请求");
    for (const char* text : {"用户", "olga", "请求将你添加为好友!", "我是你的同学"}) {
        bool shown = false;
        for (QLabel* l : w.findChildren<QLabel*>())
            shown = shown || (l->accessibleName() == text && l->isVisible());
        EXPECT_TRUE(shown) << text;
    }
    EXPECT_TRUE(Button("同意")->isEnabled());
    EXPECT_TRUE(Button("拒绝")->isEnabled());
    // A second request of the same user shows the same window.
    EXPECT_EQ(BuddyRequestWindow::Open(c.App(), RequestFrom(kOther, "olga", "again")), &w);

    for (const char* answer : {"同意", "拒绝"}) {
        Button(answer)->click();
        const LONG seq = w.Model().Outstanding();
        ASSERT_NE(seq, 0) << answer;
        // Answered once: both wait for the delivery.
        EXPECT_FALSE(Button("同意")->isEnabled());
        EXPECT_FALSE(Button("拒绝")->isEnabled());
        w.Model().OnCommandSent(seq + 1);
        w.Model().OnCommandSendError(seq + 1, OV_ERR_TIME_OUT);
        EXPECT_FALSE(RequestClosed());
        EXPECT_TRUE(c.prompts.Boxes().empty());
        // Not delivered: told, and the answer may be given again.
        w.Model().OnCommandSendError(seq, OV_ERR_TIME_OUT);
        EXPECT_EQ(Boxes(), QStringList{"网络通讯超时，无法发送信息，请检查您的网络连接！"});
        EXPECT_TRUE(Button("同意")->isEnabled());
        EXPECT_FALSE(RequestClosed());
    }
    Button("同意")->click();
    w.Model().OnCommandSent(w.Model().Outstanding());
    EXPECT_TRUE(RequestClosed());
    // A new request of that user gets a window again.
    OpenRequest(c, RequestFrom(kOther, "olga", "again"));
    EXPECT_FALSE(request_->Model().Ended());
    request_->reject();  // Escape
    EXPECT_TRUE(RequestClosed());
}

TEST_F(BuddyRequestPages, SendMessageFollowsWhetherTheSendWindowExists) {
    ShellClient& c = Alice();
    c.windows.Refuse(kSendMessageCommand);
    OpenRequest(c, RequestFrom(kOther, "", "hi"));
    EXPECT_FALSE(Button("发消息")->isEnabled());
    // A request without a name shows the number.
    EXPECT_EQ(request_->Model().UserName(), QString::number(kOther));
    request_->close();
    ASSERT_TRUE(RequestClosed());

    ShellClient& other = StartClient("other");
    OpenRequest(other, RequestFrom(kOther, "olga", "hi"));
    ASSERT_TRUE(Button("发消息")->isEnabled());
    Button("发消息")->click();
    EXPECT_EQ(other.windows.Opened(), QStringList{QStringLiteral("send %1").arg(kOther)});
    EXPECT_FALSE(RequestClosed());
}

}  // namespace
}  // namespace ov::shell::testing
