// The information dialogs as windows: their pages and controls, every control named for a
// screen reader, and with ORVANE_WIZARD_SHOTS set to a folder, each page saved as a PNG.
#include <QAbstractSpinBox>
#include <QPlainTextEdit>

#include "shell/testing/window_shot.h"
#include "shell/wizards/tests/info_dialog_fixture.h"

namespace ov::shell::testing {
namespace {

class InfoWindows : public InfoDialogTest<OwnInfoDialog> {
protected:
    void TearDown() override {
        delete other_.data();
        InfoDialogTest::TearDown();
    }
    // Every control a person can reach has a name.
    static void ExpectNamed(QWidget* window) {
        int controls = 0;
        for (QWidget* w : window->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                                 qobject_cast<QComboBox*>(w) ||
                                 qobject_cast<QAbstractSpinBox*>(w) ||
                                 qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTabWidget*>(w);
            // The parts Qt builds inside its own controls are named by them.
            if (!control || qobject_cast<QComboBox*>(w->parentWidget()) ||
                qobject_cast<QAbstractSpinBox*>(w->parentWidget()) ||
                w->parentWidget()->inherits("QTabBar"))
                continue;
            ++controls;
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->metaObject()->className();
        }
        EXPECT_GT(controls, 35);
    }
    void ShotPages(QWidget* window, QTabWidget* tabs, const char* prefix) {
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            SaveShot(window, QStringLiteral("%1-%2").arg(QLatin1String(prefix)).arg(i));
        }
        tabs->setCurrentIndex(0);
    }

    QPointer<UserInfoDialog> other_;
};

TEST_F(InfoWindows, BothDialogsShowTheFourPagesWithNamedControls) {
    StartServer();
    ASSERT_EQ(Register("carol", "pw"), "carol");
    ASSERT_EQ(Register("dave", "pw"), "dave");
    LogIn("carol", "pw");
    wizard_ = OwnInfoDialog::Open(client_->App());
    ASSERT_TRUE(time_->RunUntil([&] { return M().HasReference(); }));
    Type("姓", "李");
    Type("名", "卡罗尔");
    Type("电子邮件", "carol@example.org");
    Named<QPlainTextEdit>("个人说明")->setPlainText("喜欢旅行和摄影。");
    Choose("头像", 3);
    Choose("年龄段", 3);
    Click("女");
    Choose("母语", 1);
    Choose("职业", 4);
    Type("电话", "010-12345678");
    Choose("所在地", 1);
    Click("需要经过我同意才能将我加为好友");
    Click("修改资料");
    ASSERT_TRUE(time_->RunUntil([&] { return M().Status() == "用户数据更新成功!"; }));
    ASSERT_TRUE(time_->RunUntil([&] { return M().PendingFetch() == 0; }));

    auto* tabs = Named<QTabWidget>("用户资料");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->count(), 4);
    const QStringList titles = {"基本资料", "个人信息", "联系方式", "隐私设置"};
    for (int i = 0; i < tabs->count(); ++i)
        EXPECT_EQ(tabs->tabText(i), titles[i]);
    for (const char* button : {"修改资料", "获取资料", "关闭"})
        EXPECT_TRUE(Named<QPushButton>(button)->isVisible()) << button;
    ExpectNamed(wizard_);
    ShotPages(wizard_, tabs, "own-info");

    LogIn("dave", "pw");
    other_ = UserInfoDialog::Open(client_->App(), 0, "carol");
    ASSERT_TRUE(time_->RunUntil([&] { return other_->Model().HasInfo(); }));
    EXPECT_EQ(TextOf(other_, "名"), "卡罗尔");
    for (const char* button : {"获取资料", "加为好友", "关闭"})
        EXPECT_TRUE(Find<QPushButton>(other_, button)->isVisible()) << button;
    EXPECT_EQ(other_->findChildren<QPushButton*>().size(), 3);
    ExpectNamed(other_);
    ShotPages(other_, Find<QTabWidget>(other_, "用户资料"), "user-info");

    // Hidden details grey all but who the user is.
    Click("隐藏我的个人详细信息（此选项对好友无效）");
    Click("修改资料");
    ASSERT_TRUE(time_->RunUntil([&] { return M().PendingUpdate() == 0; }));
    Press(other_, "获取资料");
    ASSERT_TRUE(time_->RunUntil([&] { return other_->Model().DetailsHidden(); }));
    EXPECT_FALSE(Find(other_, "姓")->isEnabled());
    EXPECT_TRUE(Find(other_, "昵称")->isEnabled());
    ShotPages(other_, Find<QTabWidget>(other_, "用户资料"), "user-info-hidden");
}

}  // namespace
}  // namespace ov::shell::testing
