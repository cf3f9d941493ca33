// The information dialogs against the reference server: a user changes the own nickname and
// privacy and finds them again in a new dialog; another user reads that information, first in
// full, then, once hidden, only who the user is.
#include <QAbstractButton>

#include "shell/wizards/tests/info_dialog_fixture.h"

namespace ov::shell::testing {
namespace {

class UserInfoFlow : public InfoDialogTest<OwnInfoDialog> {
protected:
    void TearDown() override {
        delete other_.data();
        InfoDialogTest::TearDown();
    }
    // Opens the own dialog of the current client and waits for its first fetch.
    void OpenOwn() {
        wizard_ = OwnInfoDialog::Open(client_->App());
        ASSERT_TRUE(time_->RunUntil([&] { return M().HasReference(); }));
    }
    // Presses "修改资料" and waits for the reply and the fetch that follows a success.
    void Update() {
        Click("修改资料");
        ASSERT_TRUE(
            time_->RunUntil([&] { return M().PendingUpdate() == 0 && M().PendingFetch() == 0; }));
    }
    // Another user's dialog from the current client, once its reply is in.
    void OpenOther(const QString& name) {
        other_ = UserInfoDialog::Open(client_->App(), 0, name);
        ASSERT_NE(other_, nullptr);
        ASSERT_TRUE(time_->RunUntil([&] { return other_->Model().PendingFetch() == 0; }));
    }
    bool Checked(const QString& name) { return Named<QAbstractButton>(name)->isChecked(); }

    QPointer<UserInfoDialog> other_;
};

TEST_F(UserInfoFlow, OwnChangesAreKeptAndOthersSeeThemAsThePrivacyAllows) {
    StartServer();
    ASSERT_EQ(Register("carol", "pw"), "carol");
    ASSERT_EQ(Register("dave", "pw"), "dave");

    ShellClient& carol = LogIn("carol", "pw");
    OpenOwn();
    EXPECT_EQ(Named<QLineEdit>("登录名")->text(), "carol");
    EXPECT_EQ(Named<QLineEdit>("OV号码")->text(), QString::number(carol.Frame().OwnPin()));
    EXPECT_EQ(Named<QLineEdit>("昵称")->text(), "nick");
    EXPECT_TRUE(Checked("任何人都可以将我加为好友"));
    EXPECT_TRUE(Checked("接收所有人发出的消息"));

    Type("昵称", "卡罗尔");
    Type("姓", "李");
    Choose("所在地", 2);
    const qint64 location = Named<QComboBox>("所在地")->currentData().toLongLong();
    Update();
    EXPECT_EQ(Status(), "用户数据更新成功!");
    EXPECT_EQ(M().LastSent().nMask,
              quint32{OV_UFLD_NICKNAME | OV_UFLD_LASTNAME | OV_UFLD_LOCATION});
    EXPECT_EQ(M().Reference().nickName, "卡罗尔");
    EXPECT_EQ(M().Reference().lastName, "李");
    EXPECT_EQ(M().Reference().location, location);
    Click("修改资料");
    EXPECT_EQ(Status(), "资料没有改变。");

    // Dave reads Carol's information in full.
    ShellClient& dave = LogIn("dave", "pw");
    OpenOther("carol");
    EXPECT_FALSE(other_->Model().DetailsHidden());
    EXPECT_EQ(TextOf(other_, "昵称"), "卡罗尔");
    EXPECT_EQ(TextOf(other_, "姓"), "李");
    EXPECT_EQ(Find<QComboBox>(other_, "所在地")->currentData().toLongLong(), location);
    other_->close();

    // Carol hides her details and lets nobody add her; a new dialog finds it so.
    client_ = &carol;
    Click("禁止任何人将我加为好友");
    Click("只接收好友发出的消息");
    Click("隐藏我的个人详细信息（此选项对好友无效）");
    Update();
    EXPECT_EQ(Status(), "用户数据更新成功!");
    EXPECT_EQ(M().LastSent().nMask, quint32{OV_UFLD_MODE});
    Click("关闭");
    EXPECT_TRUE(Closed());
    OpenOwn();
    EXPECT_EQ(Named<QLineEdit>("昵称")->text(), "卡罗尔");
    EXPECT_TRUE(Checked("禁止任何人将我加为好友"));
    EXPECT_TRUE(Checked("只接收好友发出的消息"));
    EXPECT_TRUE(Checked("隐藏我的个人详细信息（此选项对好友无效）"));
    EXPECT_FALSE(Checked("隐藏第一个电子邮件，只用于找回密码"));
    EXPECT_EQ(M().Reference().mode, quint32{OV_UMODE_BUDDY_DENY | OV_UMODE_NO_STRONGER_MSG |
                                            OV_UMODE_NO_GROUP_USER_MSG | OV_UMODE_HIDE_USR_INFO});

    // Dave, not her buddy, now sees only who she is.
    client_ = &dave;
    OpenOther("carol");
    EXPECT_TRUE(other_->Model().DetailsHidden());
    EXPECT_EQ(TextOf(other_, "昵称"), "卡罗尔");
    EXPECT_EQ(TextOf(other_, "登录名"), "carol");
    EXPECT_EQ(TextOf(other_, "姓"), "");
    EXPECT_EQ(TextOf(other_, "OV号码"), QString::number(carol.Frame().OwnPin()));
    EXPECT_TRUE(dave.prompts.Boxes().empty());
    EXPECT_TRUE(carol.prompts.Boxes().empty());
}

}  // namespace
}  // namespace ov::shell::testing
