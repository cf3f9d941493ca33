// The user search wizard with the program's skin: each page shows its picture, the searching
// page the animation, and every control can be found by its name. With ORVANE_WIZARD_SHOTS
// set to a folder, each page is also saved there as a PNG.
#include <QComboBox>
#include <QRadioButton>
#include <QTreeWidget>

#include "shell/core/login_dialog_model.h"
#include "shell/wizards/tests/wizard_fixture.h"
#include "shell/wizards/widgets/user_search_wizard.h"

namespace ov::shell::testing {
namespace {

using SkinnedSearchWizard = WizardWindowTest<UserSearchWizard>;
using Model = UserSearchModel;

TEST_F(SkinnedSearchWizard, EveryPageShowsItsPictureAndEveryControlHasAName) {
    StartServer();
    ASSERT_EQ(Register("alice", "pw", "爱丽丝"), "alice");
    ASSERT_EQ(Register("bob", "pw", "小明"), "bob");
    ASSERT_EQ(Register("carol", "pw", "小明同学"), "carol");
    OVShellApp& app = StartSkinnedApp();
    app.Machine().SetGateways(GatewayList::Cernet, {Server()});
    app.Machine().SetGateways(GatewayList::Chinanet, {Server()});
    LoginDialogModel login(app);
    ASSERT_EQ(login.Accept("alice", "pw", 0, 2, true), LoginDialogModel::Outcome::Accepted);
    ASSERT_TRUE(time_->RunUntil([&] { return app.Frame()->LoggedInToServer(); }));
    wizard_ = new UserSearchWizard(app);
    wizard_->show();

    // Nothing without a name: a screen reader (and the checks) could not tell it.
    for (QWidget* w : wizard_->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QTreeWidget*>(w);
        if (control) {
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
        }
    }
    // The combined query's choices come from the reference lists, after an empty one.
    EXPECT_GT(Named<QComboBox>("所在地")->count(), 1);
    EXPECT_GT(Named<QComboBox>("年龄段")->count(), 1);
    EXPECT_GT(Named<QComboBox>("语言")->count(), 1);
    EXPECT_EQ(Named<QComboBox>("性别")->count(), 3);
    EXPECT_EQ(Named<QComboBox>("性别")->itemText(1), "男士");
    EXPECT_EQ(Named<QComboBox>("性别")->itemText(2), "女士");

    EXPECT_TRUE(PictureShown());
    ASSERT_TRUE(time_->RunUntil(
        [&] { return Named<QRadioButton>("查看在线用户")->text() != "查看在线用户"; }));
    Click("通过用户的昵称查找");
    Type("用户的昵称", "小明");
    Shot("search-0-mode");

    Click("高级查找(组合查询注册用户)");
    Click("下一步");
    ASSERT_EQ(Page(), Model::kQuery);
    EXPECT_TRUE(PictureShown());
    Shot("search-1-query");
    Click("上一步");

    Click("通过用户的昵称查找");
    Click("下一步");
    // The reply may be in already: the server runs in this process.
    ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kSearching; }));
    ASSERT_EQ(Page(), Model::kResults) << M().FailureText().toStdString();
    EXPECT_TRUE(PictureShown());
    EXPECT_EQ(Named<QTreeWidget>("查询结果")->topLevelItemCount(), 2);  // a part of a nickname
    Shot("search-4-results");

    Click("上一步");
    Click("通过用户的登录名查找");
    Type("登录名", "nobody");
    Click("下一步");
    ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kSearching; }));
    ASSERT_EQ(Page(), Model::kFailed);
    EXPECT_TRUE(PictureShown());
    Shot("search-3-failed");

    // Without a server the search waits, with the animation playing.
    StopServer();
    Click("上一步");
    Click("下一步");
    ASSERT_EQ(Page(), Model::kSearching);
    EXPECT_TRUE(PictureShown());
    QMovie* movie = Animation();
    ASSERT_NE(movie, nullptr);
    EXPECT_TRUE(movie->isValid());
    EXPECT_EQ(movie->state(), QMovie::Running);
    Shot("search-2-searching");
    M().OnSearchUserReply2(M().Outstanding(), OV_ERR_TIME_OUT, VARIANT_FALSE, 0, {});
    ASSERT_EQ(Page(), Model::kFailed);
    EXPECT_EQ(movie->state(), QMovie::NotRunning);
}

}  // namespace
}  // namespace ov::shell::testing
