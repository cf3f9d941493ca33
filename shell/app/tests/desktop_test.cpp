// The Qt desktop services: the tray's stand-in window, its animation and menus, message boxes
// answered on the GUI thread whichever thread asks, and sounds where no sound server runs.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <thread>

#include "platform/win32/message_box.h"
#include "shell/app/canberra_sounds.h"
#include "shell/app/qt_prompts.h"
#include "shell/app/qt_tray.h"
#include "shell/app/status_window.h"
#include "shell/skin/skin_manager.h"

namespace ov::shell {
namespace {

const QString kProgramDir = QStringLiteral(ORVANE_PROGRAM_DIR);

// Runs the loop until done() or about two seconds passed.
template <typename F>
bool SpinUntil(F done) {
    for (int i = 0; i < 400 && !done(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

QPushButton* ButtonNamed(QWidget* w, const QString& name) {
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->accessibleName() == name)
            return b;
    return nullptr;
}

class TrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        skin_.SetBaseDirectory((kProgramDir + "Skins/").toStdString());
        ASSERT_TRUE(skin_.Load("orvane"));
    }
    OVSkin skin_;
};

TEST_F(TrayTest, TheStatusWindowShowsTheTipAndOffersWhatTheIconsClicksDo) {
    QtTray tray(skin_, QIcon(kProgramDir + "orvane.ico"), true);
    StatusWindow* window = tray.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());

    tray.SetTip(QStringLiteral("alice(在线)"));
    EXPECT_EQ(window->accessibleDescription(), QStringLiteral("alice(在线)"));
    EXPECT_EQ(window->Tip(), QStringLiteral("alice(在线)"));

    QStringList done;
    tray.SetGestures(
        {[&] { done << "left"; }, [&] { done << "double"; }, [&] { done << "right"; }});
    ButtonNamed(window, QStringLiteral("我的状态"))->click();
    ButtonNamed(window, QStringLiteral("菜单"))->click();
    ButtonNamed(window, QStringLiteral("打开下一项"))->click();
    EXPECT_EQ(done, (QStringList{"left", "right", "double"}));

    // Closing the window keeps the program's only door open.
    window->close();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(TrayTest, MenusComeFromTheFactoryAndGoAwayWhenClosed) {
    QtTray tray(skin_, QIcon(kProgramDir + "orvane.ico"), true);
    QPointer<QMenu> shown;
    TrayMenu asked{};
    tray.SetMenuFactory([&](TrayMenu which, QWidget* parent) {
        asked = which;
        shown = new QMenu(parent);
        shown->addAction(QStringLiteral("退出"));
        return shown.data();
    });
    tray.ShowMenu(TrayMenu::LoggedInToServer);
    ASSERT_TRUE(shown);
    EXPECT_EQ(asked, TrayMenu::LoggedInToServer);
    EXPECT_TRUE(SpinUntil([&] { return shown->isVisible(); }));
    shown->hide();
    EXPECT_TRUE(SpinUntil([&] { return shown.isNull(); }));

    // A removed tray opens nothing more.
    tray.Remove();
    tray.ShowMenu(TrayMenu::NotLoggedIn);
    EXPECT_TRUE(shown.isNull());
    EXPECT_FALSE(tray.Window()->isVisible());
}

TEST_F(TrayTest, AnimationsCycleTheSkinsFramesAndStoppingRestoresTheStatusIcon) {
    QtTray tray(skin_, QIcon(kProgramDir + "orvane.ico"), true);
    QStringList icons;
    tray.SetIconObserver([&](const QString& key) { icons << key; });
    tray.SetIcon(QStringLiteral("sStatusOnline"));
    auto* label = tray.Window()->findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    const QImage online = label->pixmap().toImage();

    tray.Animate(QStringLiteral("Login"));  // four frames, 150 ms apart
    const QImage first = label->pixmap().toImage();
    EXPECT_NE(first, online);
    EXPECT_TRUE(SpinUntil([&] { return label->pixmap().toImage() != first; }));

    // A status change during the animation waits for its end.
    tray.SetIcon(QStringLiteral("sStatusAway"));
    tray.StopAnimation();
    const QImage away = label->pixmap().toImage();
    EXPECT_NE(away, online);
    EXPECT_EQ(icons, (QStringList{"sStatusOnline", "sStatusAway"}));

    // An animation the skin does not have leaves the status icon standing.
    tray.Animate(QStringLiteral("NoSuchKind"));
    EXPECT_EQ(label->pixmap().toImage(), away);
}

// Answers the next modal box by the accessible name of a button, ticking its check box first
// when asked to.
void AnswerNextBox(const QString& button, bool tick = false) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll->stop();
        poll->deleteLater();
        if (tick && box->checkBox())
            box->checkBox()->setChecked(true);
        for (QAbstractButton* b : box->buttons())
            if (b->accessibleName() == button)
                b->click();
    });
    poll->start(5);
}

TEST(PromptsTest, QuestionsAnswerWithTheButtonPressedAndTheDontAskBox) {
    QtPrompts prompts;
    AnswerNextBox(QStringLiteral("是"));
    EXPECT_TRUE(prompts.YesNo(QStringLiteral("继续吗？"), QString()));
    AnswerNextBox(QStringLiteral("否"));
    EXPECT_FALSE(prompts.YesNo(QStringLiteral("继续吗？"), QStringLiteral("Orvane提示")));

    bool dontAsk = false;
    AnswerNextBox(QStringLiteral("否"), true);
    EXPECT_FALSE(prompts.YesNoDontAsk(QStringLiteral("关闭吗？"), QString(), &dontAsk));
    EXPECT_TRUE(dontAsk);
}

TEST(PromptsTest, AComponentsBoxFromAWorkerThreadIsShownOnTheGuiThread) {
    InstallQtComponentMessageBoxes();
    int answer = 0;
    std::atomic<bool> finished{false};
    AnswerNextBox(QStringLiteral("否"));
    std::thread worker([&] {
        answer = MessageBox(nullptr, "Please Call Init() First!", "COVService::Login()", MB_YESNO);
        finished = true;
    });
    EXPECT_TRUE(SpinUntil([&] { return finished.load(); }));
    worker.join();
    EXPECT_EQ(answer, IDNO);
    SetMessageBoxPresenter({});
}

TEST(SoundsTest, WithoutASoundServerPlayingIsSilent) {
    qputenv("PULSE_SERVER", "unix:/nonexistent/orvane-test");
    CanberraSounds sounds(kProgramDir + "sound/");
    sounds.Play(1, QStringLiteral("login.wav"));
    sounds.Play(2, QStringLiteral("logout.wav"));
    EXPECT_FALSE(sounds.Available());
    qunsetenv("PULSE_SERVER");
}

}  // namespace
}  // namespace ov::shell
