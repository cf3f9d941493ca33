// User searches through the wizard's window against the reference server: by login name,
// PIN and nickname, the online users with their count, and a result of more than one page.
#include <QRadioButton>
#include <QTreeWidget>

#include "shell/wizards/tests/wizard_fixture.h"
#include "shell/wizards/widgets/user_search_wizard.h"

namespace ov::shell::testing {
namespace {

class UserSearchFlow : public WizardWindowTest<UserSearchWizard> {
protected:
    using Model = UserSearchModel;

    // A client of the user, logged in to the server.
    ShellClient& LogIn(const QString& name) {
        ShellClient& c = NewClient(name);
        c.WriteGateways({Server()});
        c.WriteUserSettings(name, "pw", 4);
        EXPECT_TRUE(Start(c));
        EXPECT_TRUE(time_->RunUntil([&] { return c.Frame().LoggedInToServer(); }));
        c.windows.ClearOpened();
        return c;
    }
    // Chooses a way of searching, types into its field, and waits for the outcome.
    void Search(const char* mode, const char* field = nullptr, const QString& text = {}) {
        if (Page() != Model::kMode)
            Click("上一步");
        ASSERT_EQ(Page(), Model::kMode);
        Click(mode);
        if (field != nullptr)
            Type(field, text);
        Click("下一步");
        ASSERT_NE(Page(), Model::kMode) << Boxes().join('|').toStdString();
        ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kSearching; }));
    }
    // The listed users' column: 0 PIN, 1 login name, 2 nickname, 3 location, 4 status.
    QStringList Listed(int column) {
        QStringList texts;
        auto* list = Named<QTreeWidget>("查询结果");
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            texts << list->topLevelItem(i)->text(column);
        return texts;
    }
};

TEST_F(UserSearchFlow, RegisteredUsersAreFoundByLoginNamePinAndNickname) {
    StartServer();
    ASSERT_EQ(Register("alice", "pw", "爱丽丝"), "alice");
    ASSERT_EQ(Register("bob", "pw", "小明"), "bob");
    ASSERT_EQ(Register("carol", "pw", "小明"), "carol");
    ShellClient& c = LogIn("alice");
    client_ = &c;
    OpenWizard();

    Search("通过用户的登录名查找", "登录名", "bob");
    ASSERT_EQ(Page(), Model::kResults) << M().FailureText().toStdString();
    EXPECT_EQ(Listed(1), QStringList{"bob"});
    EXPECT_EQ(Listed(2), QStringList{"小明"});
    EXPECT_EQ(Listed(4), QStringList{"离线"});
    const QString bobPin = Listed(0).value(0);
    EXPECT_GE(bobPin.toInt(), 1000);
    EXPECT_FALSE(Enabled("下一页"));

    Search("通过OV号码查找", "OV号码", bobPin);
    ASSERT_EQ(Page(), Model::kResults) << M().FailureText().toStdString();
    EXPECT_EQ(Listed(1), QStringList{"bob"});
    Click("添加好友");
    Click("用户信息");
    EXPECT_EQ(c.windows.Opened(),
              (QStringList{"addbuddy " + bobPin + " bob " + QString::number(M().Users()[0].icon),
                           "userinfo " + bobPin + " bob"}));

    Search("通过用户的昵称查找", "用户的昵称", "小明");
    ASSERT_EQ(Page(), Model::kResults);
    QStringList names = Listed(1);
    names.sort();
    EXPECT_EQ(names, (QStringList{"bob", "carol"}));

    Search("通过用户的登录名查找", "登录名", "nobody");
    ASSERT_EQ(Page(), Model::kFailed);
    EXPECT_EQ(M().FailureText(), "没有找到匹配条件的用户，请选择“上一步”，然后重新输入查询条件。");

    // The search box's text: the wizard opens on the search.
    wizard_->close();
    ASSERT_TRUE(Closed());
    wizard_ = UserSearchWizard::OpenWithText(c.App(), "carol");
    ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kSearching; }));
    ASSERT_EQ(Page(), Model::kResults);
    EXPECT_EQ(Listed(1), QStringList{"carol"});
    Click("完成");
    EXPECT_TRUE(Closed());
    EXPECT_TRUE(c.prompts.Boxes().empty());
}

TEST_F(UserSearchFlow, TheOnlineUsersAndTheirCountAreTheLoggedInOnes) {
    StartServer();
    for (const char* name : {"alice", "bob", "carol"})
        ASSERT_EQ(Register(name, "pw"), name);
    LogIn("bob");
    ShellClient& c = LogIn("alice");
    client_ = &c;
    OpenWizard();
    ASSERT_TRUE(time_->RunUntil(
        [&] { return Named<QRadioButton>("查看在线用户")->text() != "查看在线用户"; }));
    EXPECT_EQ(Named<QRadioButton>("查看在线用户")->text(), "查看在线用户(当前:2 最大:2)");

    Search("查看在线用户");
    ASSERT_EQ(Page(), Model::kResults) << M().FailureText().toStdString();
    QStringList names = Listed(1);
    names.sort();
    EXPECT_EQ(names, (QStringList{"alice", "bob"}));
    EXPECT_EQ(Listed(4), (QStringList{"在线", "在线"}));
}

TEST_F(UserSearchFlow, AResultOfMoreThanOnePageIsAskedForPageByPage) {
    StartServer();
    for (int i = 0; i < 23; ++i) {
        const QString name = QStringLiteral("user%1").arg(i);
        ASSERT_EQ(Register(name, "pw", "众人"), name);
    }
    ShellClient& c = LogIn("user0");
    client_ = &c;
    OpenWizard();
    Search("通过用户的昵称查找", "用户的昵称", "众人");
    ASSERT_EQ(Page(), Model::kResults) << M().FailureText().toStdString();
    const QStringList first = Listed(0);
    EXPECT_EQ(first.size(), 20);
    EXPECT_FALSE(Enabled("上一页"));
    Click("下一页");
    ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kSearching; }));
    ASSERT_EQ(Page(), Model::kResults) << M().FailureText().toStdString();
    const QStringList second = Listed(0);
    EXPECT_EQ(second.size(), 3);
    EXPECT_FALSE(Enabled("下一页"));
    // Every user once over both pages.
    QStringList all = first + second;
    all.removeDuplicates();
    EXPECT_EQ(all.size(), 23);
    Click("上一页");
    EXPECT_EQ(Listed(0), first);
    Click("全部");
    EXPECT_EQ(Listed(0), first + second);
}

}  // namespace
}  // namespace ov::shell::testing
