// Three people on the reference server in this process, the way they meet: alice finds bob by
// his login name and carol by her number, adds bob at once and carol with her consent given
// through her request window; each list shows the others with their status and counts, a
// status change shows at once, and alice's list is back from her own computer after a restart,
// before the server has answered.
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include "shell/core/buddy_list_model.h"
#include "shell/core/commands.h"
#include "shell/core/hidden_frame.h"
#include "shell/wizards/tests/add_buddy_fixture.h"
#include "shell/wizards/user_search_model.h"

namespace ov::shell::testing {
namespace {

class BuddiesStory : public AddBuddyTest {
protected:
    // Searches and waits for the results page; the users found.
    QList<UserSearchModel::FoundUser> Search(UserSearchModel& search, UserSearchModel::Mode mode,
                                             const QString& text) {
        search.Entered().mode = mode;
        search.Entered().pin = text;
        search.Entered().userName = text;
        EXPECT_EQ(search.Next(), UserSearchModel::Field::None);
        EXPECT_TRUE(time_->RunUntil([&] { return search.Outstanding() == 0; }));
        EXPECT_EQ(search.CurrentPage(), UserSearchModel::kResults)
            << search.FailureText().toStdString();
        return search.Users();
    }
    // Opens the add-buddy wizard as the results page asked the windows for it.
    void AddFromResults(ShellClient& c, UserSearchModel& search, qint32 pin) {
        int row = -1;
        for (int i = 0; i < search.Users().size(); ++i)
            if (search.Users()[i].pin == pin)
                row = i;
        ASSERT_GE(row, 0);
        c.windows.ClearOpened();
        ASSERT_TRUE(search.AddBuddy(row));
        const QStringList asked = c.windows.Opened().value(0).split(' ');
        ASSERT_EQ(asked.value(0), "addbuddy");
        ASSERT_EQ(asked.value(1).toInt(), pin);
        client_ = &c;
        wizard_ = AddBuddyWizard::Open(c.App(), pin, asked.value(2), asked.value(3).toInt());
        ASSERT_EQ(Page(), Model::kChooseGroup);
        Click("下一步");
        ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kAdding; }));
    }
    QString Caption(const BuddyListModel& list, qint32 number) {
        const BuddyListModel::Item* item = list.Find(number);
        return item ? item->caption : QString();
    }
};

TEST_F(BuddiesStory, FoundByNameAndNumberAddedByTheirRulesAndKeptAcrossARestart) {
    StartServer();
    const qint32 alicePin = RegisterUser("alice");
    const qint32 bobPin = RegisterUser("bob", 0, 0x0101);
    const qint32 carolPin = RegisterUser("carol", OV_UMODE_BUDDY_AUTH, 0x0202);
    ASSERT_TRUE(alicePin && bobPin && carolPin);
    ShellClient& bob = LogIn("bob");
    ShellClient& carol = LogIn("carol");
    ShellClient& alice = LogIn("alice");
    auto aliceListOwner = std::make_unique<BuddyListModel>(alice.App());
    BuddyListModel& aliceList = *aliceListOwner;
    BuddyListModel carolList(carol.App());
    EXPECT_EQ(Caption(aliceList, kDefaultBuddyGroup), "好友(0/0)");

    // Bob, found by his login name, lets anyone add him.
    {
        UserSearchModel search(alice.App());
        const auto found = Search(search, UserSearchModel::kByUserName, "bob");
        ASSERT_EQ(found.size(), 1);
        EXPECT_EQ(found[0].pin, bobPin);
        EXPECT_EQ(found[0].nickName, "n-bob");
        AddFromResults(alice, search, bobPin);
        EXPECT_EQ(Page(), Model::kSucceeded);
        Click("完成");
    }
    // The new buddy's status comes with the tree the server sends after the addition.
    EXPECT_TRUE(
        time_->RunUntil([&] { return Caption(aliceList, kDefaultBuddyGroup) == "好友(1/1)"; }));
    EXPECT_EQ(aliceList.Find(bobPin)->icon, 0x0101);
    // Found in the search, he is listed by the nickname the search showed.
    EXPECT_EQ(aliceList.Find(bobPin)->name, "n-bob");

    // Carol, found by her number, wants to be asked; she says yes in her request window.
    {
        UserSearchModel search(alice.App());
        const auto found = Search(search, UserSearchModel::kByPin, QString::number(carolPin));
        ASSERT_EQ(found.size(), 1);
        AddFromResults(alice, search, carolPin);
        ASSERT_EQ(Page(), Model::kVerification);
        TypeVerification("我是alice");
        Click("下一步");
        ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kAdding; }));
        ASSERT_EQ(Page(), Model::kVerificationSent);
        // Until she answers, carol waits in her own group.
        EXPECT_EQ(aliceList.Find(carolPin)->parent, kAwaitingGroup);
        EXPECT_EQ(Caption(aliceList, kAwaitingGroup), "待验证好友(1)");
    }
    std::optional<PendingItem> request;
    ASSERT_TRUE(time_->RunUntil([&] {
        request = carol.App().Pending().Take(kPendingBuddyRequest, alicePin, true);
        return request.has_value();
    }));
    EXPECT_EQ(request->text, "我是alice");
    {
        QPointer<BuddyRequestWindow> window = BuddyRequestWindow::Open(carol.App(), *request);
        for (QPushButton* b : window->findChildren<QPushButton*>())
            if (b->accessibleName() == "同意")
                b->click();
        ASSERT_TRUE(time_->RunUntil([&] { return Page() == Model::kSucceeded; }));
    }
    Click("完成");
    EXPECT_EQ(aliceList.Find(carolPin)->parent, kDefaultBuddyGroup);
    EXPECT_TRUE(
        time_->RunUntil([&] { return Caption(aliceList, kDefaultBuddyGroup) == "好友(2/2)"; }));
    EXPECT_EQ(Caption(aliceList, kAwaitingGroup), "待验证好友(0)");
    // Carol's list shows alice without anyone asking for it.
    ASSERT_TRUE(time_->RunUntil([&] { return carolList.Find(alicePin) != nullptr; }));
    EXPECT_EQ(Caption(carolList, kDefaultBuddyGroup), "好友(1/1)");

    // Bob goes away: alice's list shows it with the event that says so.
    bool shownAtOnce = false;
    QObject::connect(
        &alice.App().UserData(), &UserDataStore::Notified, &aliceList, [&](int code, qint64 value) {
            if (code == kUserDataBuddyStatus && value == bobPin)
                shownAtOnce = aliceList.Find(bobPin)->status == OV_ONLINE_STATUS_OFFLINE &&
                              Caption(aliceList, kDefaultBuddyGroup) == "好友(1/2)";
        });
    bob.Frame().Command(ID_STATUS_OFFLINE);
    ASSERT_TRUE(time_->RunUntil([&] { return shownAtOnce; }));

    // Alice starts again: her list is back from list.dat when her data is loaded, before the
    // server's tree arrives.
    aliceListOwner.reset();
    Close(alice);
    for (auto& c : clients_)
        if (c.get() == &alice)
            c.reset();  // one program per user and data home
    ShellClient& again = NewClient("alice");
    again.WriteGateways({Server()});
    BuddyListModel againList(again.App());
    QString fromDisk;
    QObject::connect(&again.App().UserData(), &UserDataStore::Notified, &againList,
                     [&](int code, qint64) {
                         if (code == kUserDataBuddiesLoaded && fromDisk.isEmpty())
                             fromDisk = Caption(againList, kDefaultBuddyGroup);
                     });
    ASSERT_TRUE(Start(again));
    time_->RunDue();
    LoginDialogModel login(again.App());
    ASSERT_EQ(login.Accept("alice", "pw", 0, 2, true), LoginDialogModel::Outcome::Accepted);
    ASSERT_TRUE(time_->RunUntil([&] { return !fromDisk.isEmpty(); }));
    EXPECT_TRUE(fromDisk.startsWith("好友(")) << fromDisk.toStdString();
    EXPECT_TRUE(fromDisk.endsWith("/2)")) << fromDisk.toStdString();
    ASSERT_TRUE(time_->RunUntil([&] { return again.Frame().LoggedInToServer(); }));
    ASSERT_TRUE(
        time_->RunUntil([&] { return Caption(againList, kDefaultBuddyGroup) == "好友(1/2)"; }));
    EXPECT_TRUE(again.prompts.Boxes().empty());
}

}  // namespace
}  // namespace ov::shell::testing
