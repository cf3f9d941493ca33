// RegistrationWizard: the window of the new-user registration wizard. Eight pages with the
// skin's picture of each on the left, the wizard buttons below; the page flow, checks and the
// kernel command are RegistrationWizardModel's. Modeless; it deletes itself when closed, and
// closing it by its close box counts as Cancel.
//
//   RegistrationWizard::Open(app);     // the frame's ID_FUNCTION_REGISTER: one at a time
#pragma once

#include "shell/wizards/registration_wizard_model.h"
#include "shell/wizards/widgets/wizard_frame.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace ov::shell {

class OVShellApp;

class RegistrationWizard final : public WizardFrame {
    Q_OBJECT
public:
    explicit RegistrationWizard(OVShellApp& app, QWidget* parent = nullptr);
    ~RegistrationWizard() override;

    // Shows the application's wizard, creating it when none is open; one per application.
    static RegistrationWizard* Open(OVShellApp& app);

    RegistrationWizardModel& Model() { return model_; }

protected:
    void OnBack() override;
    void OnNext() override;
    void OnCancel() override { model_.Cancel(); }
    void OnFinish() override { model_.Finish(); }
    bool CancelEnabled() const override { return model_.CanCancel(); }
    void OnClose() override { model_.Close(); }

private:
    QWidget* MakeWelcomePage();
    QWidget* MakeTermsPage();
    QWidget* MakeBasicPage();
    QWidget* MakePersonalPage();
    QWidget* MakeNameTakenPage();
    QWidget* MakeRegisteringPage();
    QWidget* MakeFailedPage();
    QWidget* MakeSucceededPage();

    void ShowPage(int page);
    void UpdateButtons();
    // Copies what the current page's controls hold into the model.
    void Collect();
    void FocusField(RegistrationWizardModel::Field field);

    RegistrationWizardModel model_;

    QRadioButton* logIn_ = nullptr;
    QRadioButton* accept_ = nullptr;
    QRadioButton* decline_ = nullptr;
    QLineEdit* loginName_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* repeated_ = nullptr;
    QLineEdit* nickName_ = nullptr;
    QLineEdit* lastName_ = nullptr;
    QLineEdit* firstName_ = nullptr;
    QLineEdit* eMail_ = nullptr;
    QCheckBox* hideEMail_ = nullptr;
    QComboBox* ageRange_ = nullptr;
    QButtonGroup* sex_ = nullptr;
    QComboBox* location_ = nullptr;
    QComboBox* language_ = nullptr;
    QComboBox* career_ = nullptr;
    QComboBox* face_ = nullptr;
    QRadioButton* chooseName_ = nullptr;
    QRadioButton* assignNumber_ = nullptr;
    QComboBox* suggestions_ = nullptr;
    QLabel* animation_ = nullptr;
    QLabel* nameCaption_ = nullptr;
    QLabel* confirmedName_ = nullptr;
};

}  // namespace ov::shell
