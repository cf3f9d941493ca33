// The user information dialogs with whole clients: users logged in to the reference server,
// and the dialogs' controls found by their accessible names.
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTabWidget>

#include "shell/wizards/tests/wizard_fixture.h"
#include "shell/wizards/widgets/own_info_dialog.h"
#include "shell/wizards/widgets/user_info_dialog.h"

namespace ov::shell::testing {

// The control of window named so (null, and a failure, when there is none).
template <class T = QWidget>
T* Find(QWidget* window, const QString& name) {
    for (T* w : window->findChildren<T*>())
        if (w->accessibleName() == name)
            return w;
    ADD_FAILURE() << "no control named " << name.toStdString();
    return nullptr;
}

inline void Press(QWidget* window, const QString& name) {
    QAbstractButton* b = Find<QAbstractButton>(window, name);
    ASSERT_NE(b, nullptr);
    ASSERT_TRUE(b->isEnabled()) << name.toStdString();
    b->click();
    QCoreApplication::processEvents();
}

inline QString TextOf(QWidget* window, const QString& name) {
    if (auto* edit = qobject_cast<QLineEdit*>(Find(window, name)))
        return edit->text();
    if (auto* label = qobject_cast<QLabel*>(Find(window, name)))
        return label->text();
    return "(no text control)";
}

inline QString ChosenIn(QWidget* window, const QString& combo) {
    return Find<QComboBox>(window, combo)->currentText();
}

template <class Window>
class InfoDialogTest : public WizardWindowTest<Window> {
protected:
    // A client logged in to the reference server as this (registered) user.
    ShellClient& LogIn(const QString& name, const QString& password) {
        ShellClient& c = this->NewClient(name);
        c.WriteGateways({this->Server()});
        c.WriteUserSettings(name, password, 4);
        EXPECT_TRUE(this->Start(c));
        EXPECT_TRUE(this->time_->RunUntil([&] { return c.Frame().LoggedInToServer(); }));
        c.windows.ClearOpened();
        this->client_ = &c;
        return c;
    }
    // The server stops answering: what is sent from now on waits until the test answers it.
    void Silence() {
        this->StopServer();
        QCoreApplication::processEvents();
    }
    QString Status() { return TextOf(this->wizard_, "状态"); }
};

}  // namespace ov::shell::testing
