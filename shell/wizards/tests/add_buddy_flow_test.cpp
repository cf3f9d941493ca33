// Whole additions between clients of the reference server in this process, one for each of
// the other user's rules: anyone may add (at once), a verification text is asked for and the
// other user answers through the request window (accepting or refusing), nobody may add.
#include <QLabel>

#include "shell/core/hidden_frame.h"
#include "shell/wizards/tests/add_buddy_fixture.h"

namespace ov::shell::testing {
namespace {

class AddBuddyFlow : public AddBuddyTest {
protected:
    void SetUpUsers() {
        StartServer();
        alice_ = RegisterUser("alice");
        bob_ = RegisterUser("bob");
        carol_ = RegisterUser("carol", OV_UMODE_BUDDY_AUTH, 0x0104);
        dave_ = RegisterUser("dave", OV_UMODE_BUDDY_DENY);
        erin_ = RegisterUser("erin", OV_UMODE_BUDDY_AUTH);
        for (qint32 pin : {alice_, bob_, carol_, dave_, erin_})
            ASSERT_NE(pin, 0);
    }
    // Runs until the wizard leaves the pages that wait for the server.
    void Settle() {
        ASSERT_TRUE(time_->RunUntil([&] {
            return Page() != Model::kAdding &&
                   !(Page() == Model::kChooseGroup && M().TargetPin() == 0);
        })) << Page();
    }
    // The request that reached the client, taken from its pending items.
    std::optional<PendingItem> WaitRequest(ShellClient& c, qint32 from) {
        std::optional<PendingItem> item;
        time_->RunUntil([&] {
            item = c.App().Pending().Take(kPendingBuddyRequest, from, true);
            return item.has_value();
        });
        return item;
    }
    // Answers a request through its window and waits until the window has closed.
    void AnswerThroughWindow(ShellClient& c, const PendingItem& item, const char* button) {
        QPointer<BuddyRequestWindow> w = BuddyRequestWindow::Open(c.App(), item);
        for (QPushButton* b : w->findChildren<QPushButton*>())
            if (b->accessibleName() == button)
                b->click();
        ASSERT_NE(w->Model().Outstanding(), 0);
        ASSERT_TRUE(time_->RunUntil([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return w.isNull();
        }));
    }
    // The user's tree as the server keeps it: asked for again and waited for.
    bool TreeHas(ShellClient& c, qint32 pin) {
        bool received = false;
        const QMetaObject::Connection watch =
            QObject::connect(&c.App().UserData(), &UserDataStore::Notified,
                             [&](int code, qint64) { received = received || code == 12; });
        LONG seq = 0;
        c.App().Kernel()->RequestBuddyTree(&seq);
        const bool ok = time_->RunUntil([&] { return received; });
        QObject::disconnect(watch);
        return ok && NodeState(c, pin) == kBuddyShown;
    }

    qint32 alice_ = 0, bob_ = 0, carol_ = 0, dave_ = 0, erin_ = 0;
};

TEST_F(AddBuddyFlow, AnyoneMayAddBobAtOnceByName) {
    SetUpUsers();
    ShellClient& bob = LogIn("bob");
    ShellClient& alice = LogIn("alice");
    bob.sounds.Clear();
    OpenWizard();
    Type("用户名", "bob");
    Click("下一步");
    Settle();
    ASSERT_EQ(M().TargetPin(), bob_);
    EXPECT_EQ(M().TargetDisplayName(), "n-bob");
    EXPECT_EQ(M().TargetIcon(), 0x0103);
    EXPECT_TRUE(Named<QLabel>("添加-bob-用户到你的好友列表中")->isVisible());
    Click("下一步");
    Settle();
    ASSERT_EQ(Page(), Model::kSucceeded);
    EXPECT_TRUE(Named<QLabel>("你可以经常和好友保持联系了")->isVisible());
    EXPECT_EQ(NodeState(alice, bob_), kBuddyShown);
    EXPECT_TRUE(alice.prompts.Boxes().empty());
    Click("完成");
    EXPECT_TRUE(Closed());
    // The server keeps bob in alice's tree, and bob hears of it.
    EXPECT_TRUE(TreeHas(alice, bob_));
    ASSERT_TRUE(time_->RunUntil([&] { return !bob.sounds.Played().empty(); }));
    EXPECT_EQ(bob.sounds.Played()[0], kSoundBuddyAccept);

    // A user who hides the details is found by name all the same.
    const qint32 frank = RegisterUser("frank", OV_UMODE_HIDE_USR_INFO);
    OpenWizard();
    Type("用户名", "frank");
    Click("下一步");
    Settle();
    ASSERT_EQ(M().TargetPin(), frank);
    Click("下一步");
    Settle();
    EXPECT_EQ(Page(), Model::kSucceeded);
}

TEST_F(AddBuddyFlow, CarolAsksForAVerificationTextAndAcceptsThroughTheRequestWindow) {
    SetUpUsers();
    ShellClient& carol = LogIn("carol");
    ShellClient& alice = LogIn("alice");
    wizard_ = AddBuddyWizard::Open(alice.App(), carol_, "carol", 0x0104);
    Click("下一步");
    Settle();
    ASSERT_EQ(Page(), Model::kVerification);
    EXPECT_EQ(NodeState(alice, carol_), kBuddyAdding);
    TypeVerification("我是alice，加个好友吧");
    Click("下一步");
    Settle();
    ASSERT_EQ(Page(), Model::kVerificationSent);
    EXPECT_EQ(NodeState(alice, carol_), kBuddyAwaitingAnswer);

    // The request reaches carol as a pending item with alice's name and text.
    const std::optional<PendingItem> request = WaitRequest(carol, alice_);
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->text, "我是alice，加个好友吧");
    EXPECT_EQ(request->text2, "alice");
    AnswerThroughWindow(carol, *request, "同意");

    // Alice's wizard hears the answer; carol is a buddy of alice on both sides, and alice
    // one of carol's, whose tree follows by itself.
    ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kVerificationSent; }));
    EXPECT_EQ(Page(), Model::kSucceeded);
    EXPECT_EQ(NodeState(alice, carol_), kBuddyShown);
    EXPECT_TRUE(TreeHas(alice, carol_));
    EXPECT_TRUE(time_->RunUntil([&] { return NodeState(carol, alice_) == kBuddyShown; }));
    EXPECT_TRUE(alice.prompts.Boxes().empty());
    EXPECT_TRUE(carol.prompts.Boxes().empty());
}

TEST_F(AddBuddyFlow, ErinRefusesAndDaveLetsNobodyAdd) {
    SetUpUsers();
    ShellClient& erin = LogIn("erin");
    ShellClient& alice = LogIn("alice");

    wizard_ = AddBuddyWizard::Open(alice.App(), erin_, "erin", 0);
    Click("下一步");
    Settle();
    ASSERT_EQ(Page(), Model::kVerification);
    TypeVerification("hello");
    Click("下一步");
    Settle();
    ASSERT_EQ(Page(), Model::kVerificationSent);
    const std::optional<PendingItem> request = WaitRequest(erin, alice_);
    ASSERT_TRUE(request.has_value());
    AnswerThroughWindow(erin, *request, "拒绝");
    ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kVerificationSent; }));
    EXPECT_EQ(Page(), Model::kRefused);
    EXPECT_EQ(NodeState(alice, erin_), -1);
    Click("完成");
    EXPECT_FALSE(TreeHas(alice, erin_));

    // Dave (not even logged in) refuses everyone: the server says so at once, and the
    // wizard says he refused rather than blaming the network.
    wizard_ = AddBuddyWizard::Open(alice.App(), dave_, "dave", 0);
    Click("下一步");
    Settle();
    EXPECT_EQ(Page(), Model::kRefused);
    EXPECT_EQ(NodeState(alice, dave_), -1);
    // A number nobody has fails the same way.
    Click("完成");
    wizard_ = AddBuddyWizard::Open(alice.App(), 99999, "", 0);
    Click("下一步");
    Settle();
    EXPECT_EQ(Page(), Model::kFailed);
    EXPECT_TRUE(alice.prompts.Boxes().empty());
}

}  // namespace
}  // namespace ov::shell::testing
