// The login dialog, the program's menus and the Starshelf window on the offscreen platform,
// each driven as a person drives it, on a whole client of the shell's logic.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QSlider>
#include <QToolButton>

#include "shell/core/commands.h"
#include "shell/core/login_dialog_model.h"
#include "shell/core/security_level.h"
#include "shell/core/tests/flow_fixture.h"
#include "shell/core/widgets/buddy_list_view.h"
#include "shell/core/widgets/login_dialog.h"
#include "shell/core/widgets/shell_menus.h"
#include "shell/core/widgets/starshelf_window.h"

namespace ov::shell::testing {
namespace {

// The control of that accessible name, as assistive technology finds it.
template <typename T>
T* Named(QWidget* root, const QString& name) {
    for (T* w : root->findChildren<T*>())
        if (w->accessibleName() == name)
            return w;
    ADD_FAILURE() << "no control named " << name.toStdString();
    return nullptr;
}

void Key(QWidget* w, int key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
}

void Type(QWidget* w, const QString& text) {
    for (QChar c : text)
        Key(w, c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - 'A') : Qt::Key_unknown,
            QString(c));
}

bool HasFocus(QWidget* window, QWidget* control) {
    QWidget* focus = window->focusWidget();
    return focus && (focus == control || control->isAncestorOf(focus));
}

// The entries of a menu as a person reads them; "-" for a separator, "[x]" before a
// greyed-out entry, "*" before a checked one, "name>" for a sub-menu.
QStringList Entries(QMenu* menu) {
    Q_EMIT menu->aboutToShow();
    QStringList out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            out << "-";
            continue;
        }
        QString text = a->text();
        if (a->menu())
            text += ">";
        if (a->isChecked())
            text.prepend("*");
        if (!a->isEnabled())
            text.prepend("[x]");
        out << text;
    }
    return out;
}

QAction* Entry(QMenu* menu, const QString& text) {
    Q_EMIT menu->aboutToShow();
    for (QAction* a : menu->actions())
        if (a->text() == text)
            return a;
    ADD_FAILURE() << "no entry " << text.toStdString();
    return nullptr;
}

QMenu* Submenu(QMenu* menu, const QString& title) {
    QAction* a = Entry(menu, title);
    return a ? a->menu() : nullptr;
}

class ShellWidgets : public ShellFlowTest {
protected:
    // A started client whose gateway never answers; its first screen is done.
    ShellClient& Client(const QString& name) {
        ShellClient& c = NewClient(name);
        c.WriteGateways({nowhere_.Info()});
        setup_(c);
        EXPECT_TRUE(Start(c));
        time_->RunDue();
        c.windows.ClearOpened();
        return c;
    }
    void TearDown() override {
        delete dialog_;
        ShellFlowTest::TearDown();
    }

    // The dialog as the frame would open it: on the heap, deleting itself on close.
    LoginDialog* Open(ShellClient& c) {
        dialog_ = new LoginDialog(c.App());
        dialog_->show();
        return dialog_;
    }
    // Runs what the dialog posted, and its deletion.
    void Settle() {
        time_->RunDue();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    DeadGateway nowhere_;
    std::function<void(ShellClient&)> setup_ = [](ShellClient&) {};
    QPointer<LoginDialog> dialog_;
};

TEST_F(ShellWidgets, OkChecksTheNameThenThePasswordAndPointsAtWhatIsWrong) {
    ShellClient& c = Client("fresh");
    LoginDialog* d = Open(c);
    EXPECT_EQ(d->windowTitle(), "Orvane登录");
    auto* name = Named<QComboBox>(d, "登录名");
    auto* password = Named<QLineEdit>(d, "密码");
    auto* ok = Named<QAbstractButton>(d, "确定");
    ASSERT_TRUE(name && password && ok);
    EXPECT_EQ(name->currentText(), "");  // nobody known here
    EXPECT_TRUE(HasFocus(d, name));
    // A newcomer starts from a new user's defaults, not from the slider's lowest level.
    EXPECT_EQ(Named<QSlider>(d, "安全级别")->value(), LoginDialogModel::UserChoice{}.securityLevel);
    EXPECT_TRUE(Named<QCheckBox>(d, "启用Pageroom")->isChecked());

    // Enter presses OK, from the name as from the password.
    password->setText("pw");
    Key(name, Qt::Key_Return);
    EXPECT_EQ(c.prompts.Texts(), QStringList{"请输入登录名"});
    EXPECT_TRUE(HasFocus(d, name));

    c.prompts.Clear();
    name->setEditText("Abc!");
    ok->click();
    EXPECT_EQ(c.prompts.Texts(), QStringList{"错误的登录名格式"});
    EXPECT_TRUE(HasFocus(d, name));

    c.prompts.Clear();
    name->setEditText("abc");
    password->clear();
    Key(password, Qt::Key_Return);
    EXPECT_EQ(c.prompts.Texts(), QStringList{"请输入登录密码"});
    EXPECT_TRUE(HasFocus(d, password));

    Settle();
    ASSERT_TRUE(dialog_);  // none of these ends the dialog
    EXPECT_FALSE(c.Frame().LoggingIn());
}

TEST_F(ShellWidgets, ASavedPasswordStandsBehindItsPlaceholder) {
    setup_ = [](ShellClient& c) { c.WriteUserSettings("carol", "secret", 3); };
    ShellClient& c = Client("carol");
    LoginDialog* d = Open(c);
    auto* name = Named<QComboBox>(d, "登录名");
    auto* password = Named<QLineEdit>(d, "密码");
    auto* level = Named<QSlider>(d, "安全级别");
    ASSERT_TRUE(name && password && level);
    EXPECT_EQ(name->currentText(), "carol");
    EXPECT_EQ(password->text(), LoginDialogModel::SavedPasswordPlaceholder());
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(level->value(), 3);

    Named<QAbstractButton>(d, "确定")->click();
    EXPECT_TRUE(c.prompts.Boxes().empty());
    EXPECT_EQ(c.App().Login().password, "secret");
    Settle();
    EXPECT_FALSE(dialog_);
    // The saved password is right: carol works locally while the server is sought.
    EXPECT_TRUE(c.Frame().LoggedInLocally());
    EXPECT_EQ(c.Frame().CurrentUser(), "carol");
}

TEST_F(ShellWidgets, AChangedPasswordIsQuestionedAndNoGoesBackToIt) {
    setup_ = [](ShellClient& c) { c.WriteUserSettings("carol", "secret", 2); };
    ShellClient& c = Client("carol");
    LoginDialog* d = Open(c);
    auto* password = Named<QLineEdit>(d, "密码");
    auto* ok = Named<QAbstractButton>(d, "确定");
    ASSERT_TRUE(password && ok);

    // Typing over the placeholder starts a new password instead of extending it.
    Type(password, "new");
    EXPECT_EQ(password->text(), "new");

    ok->click();  // the question is answered No
    ASSERT_EQ(c.prompts.Boxes().size(), 1u);
    EXPECT_EQ(c.prompts.Boxes()[0].kind, PromptRecorder::Box::Kind::YesNo);
    EXPECT_TRUE(c.prompts.Texts()[0].contains("您输入的密码与上次成功登录的密码不一致"));
    EXPECT_TRUE(HasFocus(d, password));
    EXPECT_EQ(password->selectedText(), "new");
    Settle();
    ASSERT_TRUE(dialog_);

    c.prompts.Answer(true);
    ok->click();
    EXPECT_EQ(c.App().Login().password, "new");
    Settle();
    EXPECT_FALSE(dialog_);
    EXPECT_TRUE(c.Frame().LoggingIn());
    EXPECT_FALSE(c.Frame().LoggedInLocally());  // not with a password that differs
}

TEST_F(ShellWidgets, TheLevelsTextsFollowTheSliderWithoutMovingTheDialog) {
    ShellClient& c = Client("levels");
    LoginDialog* d = Open(c);
    auto* level = Named<QSlider>(d, "安全级别");
    ASSERT_TRUE(level);
    EXPECT_EQ(level->minimum(), 0);
    EXPECT_EQ(level->maximum(), 4);
    const QSize size = d->size();
    for (int l : {4, 0, 1, 3, 2}) {
        level->setValue(l);
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const SecurityLevelText texts = SecurityLevelTexts(l);
        QStringList shown;
        for (QLabel* label : d->findChildren<QLabel*>()) {
            shown << label->text();
            if (label->text() == texts.description) {
                // The whole description fits.
                EXPECT_LE(label->heightForWidth(label->width()), label->height()) << l;
            }
        }
        EXPECT_TRUE(shown.contains(texts.name)) << l;
        EXPECT_TRUE(shown.contains(texts.hint)) << l;
        EXPECT_TRUE(shown.contains(texts.description)) << l;
        EXPECT_EQ(d->size(), size) << l;
    }
}

TEST_F(ShellWidgets, ANameJustRegisteredComesFirstAndOtherUsersCanBeChosen) {
    setup_ = [](ShellClient& c) {
        c.WriteUserSettings("carol", "secret", 3, OV_ONLINE_STATUS_AWAY);
    };
    ShellClient& c = Client("newbie");
    c.App().Login().userName = "newbie";
    LoginDialog* d = Open(c);
    auto* name = Named<QComboBox>(d, "登录名");
    auto* password = Named<QLineEdit>(d, "密码");
    auto* status = Named<QComboBox>(d, "登录状态");
    auto* pageroom = Named<QCheckBox>(d, "启用Pageroom");
    ASSERT_TRUE(name && password && status && pageroom);
    EXPECT_EQ(name->currentText(), "newbie");
    EXPECT_EQ(name->itemText(0), "newbie");
    EXPECT_EQ(password->text(), "");
    EXPECT_TRUE(HasFocus(d, password));
    QStringList statuses;
    for (int i = 0; i < status->count(); ++i)
        statuses << status->itemText(i);
    EXPECT_EQ(statuses, (QStringList{"正常上线", "暂时离开", "请勿打扰", "假装离线"}));

    const int carol = name->findText("carol");
    ASSERT_GE(carol, 0);
    name->setCurrentIndex(carol);
    Q_EMIT name->activated(carol);
    EXPECT_EQ(password->text(), LoginDialogModel::SavedPasswordPlaceholder());
    EXPECT_EQ(status->currentText(), "暂时离开");
    EXPECT_EQ(Named<QSlider>(d, "安全级别")->value(), 3);

    // A name typed over it: the placeholder stood for carol's password only.
    Type(name->lineEdit(), "x");
    EXPECT_EQ(password->text(), "");
}

TEST_F(ShellWidgets, CancelAndRegisterEndTheDialog) {
    ShellClient& c = Client("ends");
    Named<QAbstractButton>(Open(c), "取消")->click();
    Settle();
    EXPECT_FALSE(dialog_);
    EXPECT_TRUE(c.windows.Opened().isEmpty());
    EXPECT_FALSE(c.Frame().LoggingIn());

    Named<QAbstractButton>(Open(c), "注册新用户")->click();
    Settle();
    EXPECT_FALSE(dialog_);
    EXPECT_EQ(c.windows.Opened(), QStringList{"register"});
}

TEST_F(ShellWidgets, TheMenusOfANewcomerOfferLoginAndRegistration) {
    ShellClient& c = Client("newcomer");
    c.windows.Refuse(ID_APP_ABOUT);
    std::unique_ptr<QMenu> tray(CreateTrayMenu(c.App(), TrayMenu::NotLoggedIn, nullptr));
    EXPECT_EQ(Entries(tray.get()), (QStringList{"登录Orvane", "注册向导", "-", "访问Orvane网站",
                                                "[x]关于Orvane", "-", "退出"}));
    std::unique_ptr<QMenu> main(CreateMainMenu(c.App(), nullptr));
    EXPECT_EQ(Entries(main.get()),
              (QStringList{"登录Orvane", "[x]注销", "注册向导", "-", "我的状态>", "[x]查找用户",
                           "[x]信息管理器", "-", "[x]修改密码", "[x]修改个人信息",
                           "[x]系统设置(&O)", "启动Pageroom浏览器", "-", "显示Orvane(&N)",
                           "访问Orvane网站", "[x]关于Orvane", "-", "退出"}));
    std::unique_ptr<QMenu> status(CreateTrayMenu(c.App(), TrayMenu::OnlineStatus, nullptr));
    EXPECT_EQ(Entries(status.get()),
              (QStringList{"正常上线", "暂时离开", "请勿打扰", "假装离线", "-", "[x]脱机离线"}));
    EXPECT_EQ(Entries(Submenu(main.get(), "我的状态")), Entries(status.get()));

    Entry(tray.get(), "访问Orvane网站")->trigger();
    Entry(main.get(), "登录Orvane")->trigger();
    // Nobody has used the program here: asking to go online starts the registration.
    Entry(status.get(), "正常上线")->trigger();
    time_->RunDue();
    EXPECT_EQ(c.launcher.Opened(), QStringList{"url " + QString::fromLatin1(kHomePage)});
    EXPECT_EQ(c.windows.Opened(), (QStringList{"login", "register"}));
}

TEST_F(ShellWidgets, TheMenusFollowTheLoginStateEachTimeTheyShow) {
    StartServer();
    ASSERT_EQ(Register("dora", "pw"), "dora");
    ShellClient& c = NewClient("dora");
    c.WriteGateways({Server()});
    ASSERT_TRUE(Start(c));
    time_->RunDue();
    c.windows.Refuse(ID_FUNCTION_SEARCH_USER);
    std::unique_ptr<QMenu> main(CreateMainMenu(c.App(), nullptr));
    EXPECT_TRUE(Entries(main.get()).contains("[x]注销"));

    c.App().Login() = LoginCredentials{"dora", "pw", OV_ONLINE_STATUS_DND, 3, false, false};
    c.Frame().PostCommand(ID_FUNCTION_DO_LOGIN);
    ASSERT_TRUE(time_->RunUntil([&] { return c.Frame().LoggedInToServer(); }));
    const QStringList entries = Entries(main.get());
    EXPECT_TRUE(entries.contains("[x]登录Orvane"));
    EXPECT_TRUE(entries.contains("注销"));
    EXPECT_TRUE(entries.contains("[x]查找用户"));  // its window does not exist here
    EXPECT_TRUE(entries.contains("修改密码"));
    EXPECT_EQ(Entries(Submenu(main.get(), "我的状态")),
              (QStringList{"正常上线", "暂时离开", "*请勿打扰", "假装离线", "-", "脱机离线"}));

    std::unique_ptr<QMenu> tray(CreateTrayMenu(c.App(), TrayMenu::LoggedInToServer, nullptr));
    EXPECT_EQ(Entries(tray.get()), (QStringList{"显示Orvane(&N)", "-", "我的状态>", "信息管理器",
                                                "[x]查找用户", "系统设置(&O)", "-", "注销", "-",
                                                "访问Orvane网站", "关于Orvane", "-", "退出"}));
    Entry(Submenu(tray.get(), "我的状态"), "暂时离开")->trigger();
    time_->RunDue();
    EXPECT_EQ(c.windows.Title(), "dora(离开)");
    EXPECT_TRUE(Entries(Submenu(main.get(), "我的状态")).contains("*暂时离开"));

    Entry(tray.get(), "注销")->trigger();
    time_->RunDue();
    EXPECT_FALSE(c.Frame().LoggedInToServer());
    EXPECT_TRUE(Entries(main.get()).contains("[x]注销"));
}

TEST_F(ShellWidgets, TheStarshelfWindowShowsTheTitleAndOnlyHidesOnClose) {
    ShellClient& c = Client("shelf");
    StarshelfWindow w(c.App());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), "Orvane(未登录)");
    ASSERT_TRUE(w.BuddyArea());
    ASSERT_TRUE(w.BuddyList());
    EXPECT_EQ(w.BuddyList()->accessibleName(), "好友列表");
    EXPECT_TRUE(w.BuddyArea()->isAncestorOf(w.BuddyList()));

    w.SetTitle("alice(在线)");
    w.SetStatusIcon("sStatusOnline");
    EXPECT_EQ(w.windowTitle(), "alice(在线)");
    bool shown = false;
    for (QLabel* label : w.findChildren<QLabel*>())
        shown = shown || label->text() == "alice(在线)";
    EXPECT_TRUE(shown);

    auto* status = Named<QToolButton>(&w, "我的状态");
    auto* menu = Named<QToolButton>(&w, "主菜单");
    ASSERT_TRUE(status && menu && status->menu() && menu->menu());
    EXPECT_EQ(Entries(status->menu()).first(), "正常上线");
    EXPECT_EQ(Entries(menu->menu()).last(), "退出");

    w.show();
    EXPECT_TRUE(w.isVisible());
    w.close();
    EXPECT_FALSE(w.isVisible());
    Settle();
    w.show();  // still there to show again
    EXPECT_TRUE(w.isVisible());
    EXPECT_GE(w.width(), 220);
    EXPECT_GE(w.height(), 380);
}

}  // namespace
}  // namespace ov::shell::testing
