// ChangePasswordWizard: the window of the change-password wizard. Four pages (input,
// submitting, failed, succeeded) with the skin's pictures; the checks, the kernel command and
// the saved password are ChangePasswordModel's.
//
//   ChangePasswordWizard::Open(app);   // the frame's ID_FUNCTION_CHANGE_PASSWORD: one at a time
#pragma once

#include "shell/wizards/change_password_model.h"
#include "shell/wizards/widgets/wizard_frame.h"

class QLabel;
class QLineEdit;

namespace ov::shell {

class OVShellApp;

class ChangePasswordWizard final : public WizardFrame {
    Q_OBJECT
public:
    explicit ChangePasswordWizard(OVShellApp& app, QWidget* parent = nullptr);
    ~ChangePasswordWizard() override;

    // Shows the application's wizard, creating it when none is open; one per application.
    static ChangePasswordWizard* Open(OVShellApp& app);

    ChangePasswordModel& Model() { return model_; }

protected:
    void OnBack() override { model_.Back(); }
    void OnNext() override;
    void OnCancel() override { model_.Cancel(); }
    void OnFinish() override { model_.Finish(); }
    bool CancelEnabled() const override { return model_.CanCancel(); }
    void OnClose() override { model_.Close(); }

private:
    QWidget* MakeInputPage();
    QWidget* MakeSubmittingPage();
    QWidget* MakeFailedPage();
    QWidget* MakeSucceededPage();
    void ShowPage(int page);

    ChangePasswordModel model_;
    QLineEdit* userName_ = nullptr;
    QLineEdit* oldPassword_ = nullptr;
    QLineEdit* newPassword_ = nullptr;
    QLineEdit* repeated_ = nullptr;
    QLabel* animation_ = nullptr;
    QLabel* failure_ = nullptr;
};

}  // namespace ov::shell
