// AddBuddyWizard: the window of the add-buddy wizard, "添加好友". Eight pages (welcome,
// choose group, adding, verification, verification sent, refused, failed, succeeded) with the
// skin's pictures "sAddBuddy1".."sAddBuddy8"; the checks, commands and answers are
// AddBuddyModel's.
//
//   AddBuddyWizard::Open(app, 0, QString(), 0);       // the welcome page
//   AddBuddyWizard::Open(app, pin, userName, icon);   // for a user; one wizard per number
#pragma once

#include "shell/wizards/add_buddy_model.h"
#include "shell/wizards/widgets/wizard_frame.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;

namespace ov::shell {

class OVShellApp;

class AddBuddyWizard final : public WizardFrame {
    Q_OBJECT
public:
    // On the welcome page; OpenFor moves it to a user's choose-group page.
    explicit AddBuddyWizard(OVShellApp& app, QWidget* parent = nullptr);
    ~AddBuddyWizard() override;

    // Shows a wizard. pin 0: a new one on its welcome page, the name (if any) typed in. A
    // number below 10000 opens nothing (null). The open wizard for the same user is brought
    // to the front instead of a second one.
    static AddBuddyWizard* Open(OVShellApp& app, qint32 pin, const QString& userName, qint32 icon);
    // The application's open wizard for a user, null when none.
    static AddBuddyWizard* Find(OVShellApp& app, qint32 pin);

    // For a user from the start: false (and the window closes) for no user's number.
    bool OpenFor(qint32 pin, const QString& userName, qint32 icon);

    AddBuddyModel& Model() { return model_; }

protected:
    void OnBack() override;
    void OnNext() override;
    void OnCancel() override { model_.Cancel(); }
    void OnFinish() override { model_.Finish(); }
    bool CancelEnabled() const override { return model_.CanCancel(); }
    void OnClose() override { model_.Close(); }

private:
    QWidget* MakeWelcomePage();
    QWidget* MakeChooseGroupPage();
    QWidget* MakeAddingPage();
    QWidget* MakeVerificationPage();
    QWidget* MakeOutcomePage(const char* heading, const char* line);
    void ShowPage(int page);
    void ShowTarget();
    void ShowMethod();
    void CopyFields();

    AddBuddyModel model_;
    QRadioButton* byName_ = nullptr;
    QRadioButton* byPin_ = nullptr;
    QLineEdit* entry_ = nullptr;
    QLabel* caption_ = nullptr;
    QLabel* face_ = nullptr;
    QComboBox* groups_ = nullptr;
    QLabel* lookup_ = nullptr;
    QLabel* animation_ = nullptr;
    QPlainTextEdit* verification_ = nullptr;
};

}  // namespace ov::shell
