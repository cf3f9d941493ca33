// Another user's information: for whom a dialog opens, which open dialog a user's request
// brings to the front, what a reply shows, and the hand-over to the add-buddy wizard.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "shell/wizards/tests/info_dialog_fixture.h"

namespace ov::shell::testing {
namespace {

TEST(UserInfoRules, SystemNumbersOpenNothingAndAUserIsKnownByNameOrNumber) {
    const struct {
        qint32 pin;
        const char* name;
        bool opens;
    } opens[] = {
        {0, "bob", true},     {10000, "", true},   {10001, "bob", true}, {-5, "", true},
        {9999, "bob", false}, {1, "", false},      {1, "system", false}, {0, "", false},
        {500, "x", false},    {123456, "x", true},
    };
    for (const auto& o : opens)
        EXPECT_EQ(UserInfoModel::MayOpen(o.pin, o.name), o.opens) << o.pin << " " << o.name;

    const struct {
        qint32 pin;
        const char* name;
        qint32 otherPin;
        const char* otherName;
        bool same;
    } users[] = {
        {10001, "bob", 10001, "bob", true},   {10001, "", 10001, "", true},
        {0, "bob", 10001, "bob", true},       {10001, "bob", 10002, "bob", true},
        {10001, "bob", 10001, "carol", true}, {0, "", 0, "", false},
        {0, "bob", 0, "Bob", false},          {10001, "bob", 10002, "carol", false},
        {10001, "", 0, "bob", false},
    };
    for (const auto& u : users) {
        EXPECT_EQ(UserInfoModel::SameUser(u.pin, u.name, u.otherPin, u.otherName), u.same)
            << u.pin << u.name << " " << u.otherPin << u.otherName;
        EXPECT_EQ(UserInfoModel::SameUser(u.otherPin, u.otherName, u.pin, u.name), u.same);
    }
}

class UserInfoDialogTest : public InfoDialogTest<UserInfoDialog> {
protected:
    void TearDown() override {
        for (const QPointer<UserInfoDialog>& d : others_)
            delete d.data();
        InfoDialogTest::TearDown();
    }
    UserInfoDialog* Open(qint32 pin, const QString& name) {
        UserInfoDialog* d = UserInfoDialog::Open(client_->App(), pin, name);
        others_.append(d);
        return d;
    }
    void Reply(LONG seq, const UserProfile& p, OVErrorCodeEnum error) {
        const OV_USER_INFO u = p.ToRecord();
        M().OnRequestUserInfoReply(seq, error,
                                   std::string_view(reinterpret_cast<const char*>(&u), sizeof u));
        QCoreApplication::processEvents();
    }

    QList<QPointer<UserInfoDialog>> others_;
};

TEST_F(UserInfoDialogTest, TheSameUserBringsTheOpenDialogToTheFront) {
    StartClient("alice");
    EXPECT_EQ(Open(500, "system"), nullptr);
    EXPECT_EQ(Open(0, ""), nullptr);

    UserInfoDialog* bob = Open(10001, "bob");
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(Open(10001, ""), bob);
    EXPECT_EQ(Open(0, "bob"), bob);
    UserInfoDialog* carol = Open(10002, "carol");
    EXPECT_NE(carol, bob);
    EXPECT_EQ(Open(0, "carol"), carol);
    UserInfoDialog* dave = Open(0, "dave");
    EXPECT_NE(dave, bob);
    EXPECT_NE(dave, carol);
    EXPECT_TRUE(bob->isVisible());

    // Nobody is logged in: the request cannot go out.
    wizard_ = bob;
    EXPECT_EQ(wizard_->windowTitle(), "用户信息");
    EXPECT_EQ(Status(), "无法获取用户数据!(发送超时)");
    EXPECT_EQ(Named<QLineEdit>("OV号码")->text(), "10001");
    EXPECT_EQ(Named<QLineEdit>("登录名")->text(), "bob");
    EXPECT_TRUE(Enabled("加为好友"));
    // Without a number there is no one to add yet.
    wizard_ = dave;
    EXPECT_FALSE(Enabled("加为好友"));
    EXPECT_EQ(Named<QLineEdit>("OV号码")->text(), "");

    // A closed dialog is not brought back: the user's next request opens a new one.
    wizard_ = bob;
    Click("关闭");
    EXPECT_TRUE(Closed());
    UserInfoDialog* again = Open(10001, "bob");
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, carol);
    wizard_ = again;
    wizard_->reject();  // Escape
    EXPECT_TRUE(Closed());
}

TEST_F(UserInfoDialogTest, TheReplyFillsThePagesReadOnlyAndAddingHandsTheUserToTheWizard) {
    StartServer();
    ASSERT_EQ(Register("bob", "pw"), "bob");
    ASSERT_EQ(Register("alice", "pw"), "alice");
    ShellClient& alice = LogIn("alice", "pw");
    wizard_ = Open(0, "bob");
    ASSERT_NE(M().PendingFetch(), 0);
    EXPECT_FALSE(Enabled("加为好友"));
    ASSERT_TRUE(time_->RunUntil([&] { return M().HasInfo(); }));
    EXPECT_FALSE(M().DetailsHidden());
    const qint32 pin = M().Pin();
    EXPECT_GE(pin, 10000);
    EXPECT_EQ(Named<QLineEdit>("OV号码")->text(), QString::number(pin));
    EXPECT_EQ(Named<QLineEdit>("昵称")->text(), "nick");
    EXPECT_EQ(Status(), "");
    // What the reply taught counts for the same user.
    EXPECT_EQ(Open(pin, ""), wizard_.data());

    // Read-only: texts cannot be typed over, choices cannot be made.
    for (QLineEdit* e : wizard_->findChildren<QLineEdit*>()) {
        if (e->isVisibleTo(wizard_)) {
            EXPECT_TRUE(e->isReadOnly()) << e->accessibleName().toStdString();
        }
    }
    EXPECT_TRUE(Named<QPlainTextEdit>("个人说明")->isReadOnly());
    EXPECT_FALSE(Named<QComboBox>("所在地")->isEnabled());
    EXPECT_FALSE(Named<QAbstractButton>("男")->isEnabled());
    EXPECT_FALSE(Named<QAbstractButton>("禁止任何人将我加为好友")->isEnabled());

    const quint32 icon = M().Shown().icon;
    Click("加为好友");
    EXPECT_EQ(alice.windows.Opened(),
              QStringList{QStringLiteral("addbuddy %1 bob %2").arg(pin).arg(icon)});
    EXPECT_TRUE(Closed());
}

TEST_F(UserInfoDialogTest, HiddenDetailsShowOnlyWhoTheUserIsAndASendErrorShowsItsText) {
    StartServer();
    ASSERT_EQ(Register("alice", "pw"), "alice");
    LogIn("alice", "pw");
    Silence();
    wizard_ = Open(10077, "erin");
    const LONG first = M().PendingFetch();
    ASSERT_NE(first, 0);

    UserProfile p;
    p.mask = 0x03FF3FFB;
    p.pin = 10077;
    p.userName = "erin";
    p.nickName = "艾琳";
    p.lastName = "Wu";
    p.eMail = "erin@example.org";
    p.icon = 515;
    p.sex = 1;
    p.location = 0x0101;
    p.about = "secret";
    p.mode = OV_UMODE_HIDE_USR_INFO | OV_UMODE_BUDDY_AUTH;

    // A reply of another command, and a send error of another command, change nothing.
    Reply(first + 1, p, OV_ERR_NONE);
    M().OnCommandSendError(first + 1, OV_ERR_TIME_OUT);
    EXPECT_FALSE(M().HasInfo());
    EXPECT_EQ(Status(), "");

    Reply(first, p, OV_ERR_USR_HIDE_USR_INFO);
    ASSERT_TRUE(M().HasInfo());
    EXPECT_TRUE(M().DetailsHidden());
    EXPECT_EQ(Named<QLineEdit>("昵称")->text(), "艾琳");
    EXPECT_EQ(Named<QLineEdit>("登录名")->text(), "erin");
    EXPECT_EQ(Named<QComboBox>("头像")->currentData().toInt(), 515);
    EXPECT_EQ(Named<QLineEdit>("姓")->text(), "");
    EXPECT_FALSE(Named<QLineEdit>("姓")->isEnabled());
    EXPECT_EQ(Named<QLineEdit>("电子邮件")->text(), "");
    EXPECT_EQ(Named<QPlainTextEdit>("个人说明")->toPlainText(), "");
    EXPECT_EQ(Named<QComboBox>("所在地")->currentData().toLongLong(), 0);
    EXPECT_FALSE(Named<QAbstractButton>("女")->isChecked());
    EXPECT_FALSE(Named<QAbstractButton>("需要经过我同意才能将我加为好友")->isChecked());
    EXPECT_TRUE(Named<QLineEdit>("昵称")->isEnabled());

    // Fetched again, the send error of the new command shows its text; the details are
    // shown once the user lets the asker see them.
    Click("获取资料");
    const LONG second = M().PendingFetch();
    M().OnCommandSendError(first, OV_ERR_TIME_OUT);
    EXPECT_EQ(Status(), "");
    M().OnCommandSendError(second, OV_ERR_TIME_OUT);
    EXPECT_EQ(Status(), "无法获取用户数据!(发送超时)");
    EXPECT_EQ(M().PendingFetch(), 0);
    Click("获取资料");
    EXPECT_EQ(Status(), "");
    Reply(M().PendingFetch(), p, OV_ERR_NONE);
    EXPECT_FALSE(M().DetailsHidden());
    EXPECT_EQ(Named<QLineEdit>("姓")->text(), "Wu");
    EXPECT_TRUE(Named<QLineEdit>("姓")->isEnabled());
    EXPECT_TRUE(Named<QAbstractButton>("女")->isChecked());
    EXPECT_TRUE(Named<QAbstractButton>("需要经过我同意才能将我加为好友")->isChecked());

    // A user who does not exist leaves the pages as they were.
    Click("获取资料");
    Reply(M().PendingFetch(), UserProfile{}, OV_ERR_USR_NOT_EXIST);
    EXPECT_EQ(Named<QLineEdit>("姓")->text(), "Wu");
    EXPECT_EQ(M().Pin(), 10077);
}

}  // namespace
}  // namespace ov::shell::testing
