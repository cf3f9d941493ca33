// A wizard's window on the offscreen platform, for a whole client of the shell's logic.
// Controls are found by their accessible names, as a screen reader (and the end-to-end
// checks) find them.
#pragma once

#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPointer>
#include <QPushButton>

#include "shell/core/login_dialog_model.h"
#include "shell/core/tests/flow_fixture.h"
#include "shell/core/user_data_store.h"
#include "shell/skin/skin_manager.h"
#include "shell/testing/window_shot.h"
#include "shell/wizards/widgets/change_password_wizard.h"
#include "shell/wizards/widgets/registration_wizard.h"

namespace ov::shell::testing {

template <class Window>
class WizardWindowTest : public ShellFlowTest {
protected:
    void TearDown() override {
        delete wizard_.data();
        skinnedApp_.reset();
        ShellFlowTest::TearDown();
    }

    // An application that draws with the program's skin, outside any client; its windows
    // show their pictures.
    OVShellApp& StartSkinnedApp() {
        skin_.SetBaseDirectory(GetProgramDirectory() + "Skins/");
        EXPECT_TRUE(skin_.Load("orvane"));
        ShellDesktop desktop;
        desktop.prompts = &skinPrompts_;
        desktop.sounds = &skinSounds_;
        desktop.tray = &skinTray_;
        desktop.launcher = &skinLauncher_;
        desktop.timers = time_.get();
        desktop.windows = &skinWindows_;
        desktop.clock = time_->Seconds();
        desktop.skin = &skin_;
        desktop.log = [](const QString&) {};
        QDir().mkpath(home_ + "/skinned");
        skinnedApp_ = std::make_unique<OVShellApp>(QString::fromStdString(GetProgramDirectory()),
                                                   home_ + "/skinned", std::move(desktop));
        EXPECT_TRUE(skinnedApp_->Start());
        kernels_ += 1;
        time_->SetWaiters(3 * kernels_);
        time_->RunDue();
        return *skinnedApp_;
    }

    // Saves the window as a PNG in the folder ORVANE_WIZARD_SHOTS names, when it is set.
    void Shot(const char* name) { SaveShot(wizard_, name); }
    // Whether the page's picture (the label that goes by the window's name) is shown.
    bool PictureShown() {
        for (QLabel* l : wizard_->template findChildren<QLabel*>())
            if (l->accessibleName() == wizard_->windowTitle())
                return l->isVisible() && !l->pixmap().isNull();
        return false;
    }
    // The animation of the waiting page, null when none was started.
    QMovie* Animation() {
        for (QLabel* l : wizard_->template findChildren<QLabel*>())
            if (l->movie() != nullptr)
                return l->movie();
        return nullptr;
    }

    // A started client whose first screen has been shown (and forgotten).
    ShellClient& StartClient(const QString& name) {
        ShellClient& c = NewClient(name);
        if (serverPort_ != 0)
            c.WriteGateways({Server()});
        EXPECT_TRUE(Start(c));
        time_->RunDue();
        c.windows.ClearOpened();
        client_ = &c;
        return c;
    }

    // A client of the account (password "pw"), logged in, with the buddy tree and black list
    // of its login in. beforeLogin prepares the started client.
    ShellClient& LogIn(const QString& name,
                       const std::function<void(ShellClient&)>& beforeLogin = {}) {
        ShellClient& c = StartClient(name);
        if (beforeLogin)
            beforeLogin(c);
        bool tree = false;
        bool black = false;
        const QMetaObject::Connection watch =
            QObject::connect(&c.App().UserData(), &UserDataStore::Notified, [&](int code, qint64) {
                tree = tree || code == kUserDataTreeReceived;
                black = black || code == kUserDataBlackList;
            });
        LoginDialogModel login(c.App());
        EXPECT_EQ(login.Accept(name, "pw", 0, 2, true), LoginDialogModel::Outcome::Accepted);
        EXPECT_TRUE(time_->RunUntil([&] { return c.Frame().LoggedInToServer() && tree && black; }));
        QObject::disconnect(watch);
        c.windows.ClearOpened();
        return c;
    }

    // Points the client's kernel at a server, as a login's handshake does.
    void Handshake(ShellClient& c, int port) {
        KernelWatch watch(c.App().Kernel());
        LONG seq = 0;
        c.App().Kernel()->HandshakeServer(Bstr::FromUtf8("127.0.0.1"), port, &seq);
        ASSERT_NE(seq, 0);
        if (serverPort_ == port) {
            ASSERT_TRUE(time_->RunUntil(
                [&] { return !watch.Named(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY).empty(); }));
        }
    }

    Window& OpenWizard() {
        wizard_ = new Window(client_->App());
        wizard_->show();
        return *wizard_;
    }
    auto& M() { return wizard_->Model(); }
    int Page() { return M().CurrentPage(); }
    // Whether the window is gone (it deletes itself when closed).
    bool Closed() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return wizard_.isNull();
    }

    template <class T = QWidget>
    T* Named(const QString& name) {
        for (T* w : wizard_->template findChildren<T*>())
            if (w->accessibleName() == name)
                return w;
        ADD_FAILURE() << "no control named " << name.toStdString();
        return nullptr;
    }
    bool Enabled(const QString& button) { return Named<QPushButton>(button)->isEnabled(); }
    void Click(const QString& name) {
        QAbstractButton* b = Named<QAbstractButton>(name);
        ASSERT_TRUE(b->isEnabled()) << name.toStdString();
        b->click();
        QCoreApplication::processEvents();
    }
    void Type(const QString& name, const QString& text) { Named<QLineEdit>(name)->setText(text); }
    void Choose(const QString& combo, int index) {
        Named<QComboBox>(combo)->setCurrentIndex(index);
    }
    // The control that has (or will have, once the window is active) the focus.
    QString Focused() {
        QWidget* w = wizard_->focusWidget();
        return w != nullptr ? w->accessibleName() : QString();
    }
    // The message boxes since the last call.
    QStringList Boxes() {
        const QStringList texts = client_->prompts.Texts();
        client_->prompts.Clear();
        return texts;
    }

    ShellClient* client_ = nullptr;
    QPointer<Window> wizard_;
    PromptRecorder skinPrompts_;
    SoundRecorder skinSounds_;
    TrayRecorder skinTray_;
    LaunchRecorder skinLauncher_;
    WindowRecorder skinWindows_;
    OVSkin skin_;
    std::unique_ptr<OVShellApp> skinnedApp_;
};

class WizardTest : public WizardWindowTest<RegistrationWizard> {
protected:
    using Model = RegistrationWizardModel;

    void ToBasicPage() {
        Click("下一步");
        Click("我接受以上的所有条款，并希望注册成为Orvane用户");
        Click("下一步");
        ASSERT_EQ(Page(), Model::kBasic);
    }
    void FillBasic(const QString& name, const QString& password = "secret") {
        Type("登录名", name);
        Type("密码", password);
        Type("重复密码", password);
    }
    void ChoosePersonal() {
        Choose("年龄段", 0);
        Click("女");
        Choose("所在地", 0);
        Choose("语言", 0);
    }
    // From the welcome page to the registering page (or wherever sending leads).
    void RegisterAs(const QString& name, const QString& password = "secret") {
        ToBasicPage();
        FillBasic(name, password);
        Click("下一步");
        ASSERT_EQ(Page(), Model::kPersonal) << Boxes().join('|').toStdString();
        ChoosePersonal();
        Click("下一步");
    }
};

}  // namespace ov::shell::testing
