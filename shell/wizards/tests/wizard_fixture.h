// The registration wizard's window on the offscreen platform, for a whole client of the
// shell's logic. Controls are found by their accessible names, as a screen reader (and the
// end-to-end checks) find them.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "shell/core/tests/flow_fixture.h"
#include "shell/wizards/widgets/registration_wizard.h"

namespace ov::shell::testing {

class WizardTest : public ShellFlowTest {
protected:
    using Model = RegistrationWizardModel;

    void TearDown() override {
        delete wizard_.data();
        ShellFlowTest::TearDown();
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

    RegistrationWizard& OpenWizard() {
        wizard_ = new RegistrationWizard(client_->App());
        wizard_->show();
        return *wizard_;
    }
    Model& M() { return wizard_->Model(); }
    int Page() { return M().CurrentPage(); }
    // Whether the window is gone (it deletes itself when closed).
    bool Closed() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return wizard_.isNull();
    }

    template <class T = QWidget>
    T* Named(const QString& name) {
        for (T* w : wizard_->findChildren<T*>())
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

    ShellClient* client_ = nullptr;
    QPointer<RegistrationWizard> wizard_;
};

}  // namespace ov::shell::testing
