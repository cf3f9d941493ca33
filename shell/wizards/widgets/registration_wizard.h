// RegistrationWizard: the window of the new-user registration wizard. Eight pages with the
// skin's picture of each on the left, the wizard buttons below; the page flow, checks and the
// kernel command are RegistrationWizardModel's. Modeless; it deletes itself when closed, and
// closing it by its close box counts as Cancel.
//
//   RegistrationWizard::Open(app);     // the frame's ID_FUNCTION_REGISTER: one at a time
#pragma once

#include <QDialog>
#include <QPointer>
#include <array>

#include "shell/wizards/registration_wizard_model.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMovie;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace ov::shell {

class OVShellApp;

class RegistrationWizard final : public QDialog {
    Q_OBJECT
public:
    explicit RegistrationWizard(OVShellApp& app, QWidget* parent = nullptr);
    ~RegistrationWizard() override;

    // Shows the application's wizard, creating it when none is open; one per application.
    static RegistrationWizard* Open(OVShellApp& app);

    RegistrationWizardModel& Model() { return model_; }

    // The controls, for tests that drive the window as a person would.
    QPushButton* BackButton() const { return back_; }
    QPushButton* NextButton() const { return next_; }
    QPushButton* CancelButton() const { return cancel_; }
    QPushButton* FinishButton() const { return finish_; }

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* MakeWelcomePage();
    QWidget* MakeTermsPage();
    QWidget* MakeBasicPage();
    QWidget* MakePersonalPage();
    QWidget* MakeNameTakenPage();
    QWidget* MakeRegisteringPage();
    QWidget* MakeFailedPage();
    QWidget* MakeSucceededPage();

    void OnNext();
    void OnBack();
    void ShowPage(int page);
    void UpdateButtons();
    // Copies what the current page's controls hold into the model.
    void Collect();
    void FocusField(RegistrationWizardModel::Field field);
    void ShowPicture(int page);
    void FillFaces();

    OVShellApp& app_;
    RegistrationWizardModel model_;
    bool closing_ = false;

    QLabel* picture_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* finish_ = nullptr;

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
    QMovie* movie_ = nullptr;
    QLabel* nameCaption_ = nullptr;
    QLabel* confirmedName_ = nullptr;
};

}  // namespace ov::shell
