// UserSearchWizard: the window of the user search wizard. Five pages (search mode, combined
// query, searching, failed, results) with the skin's pictures; the checks, the kernel commands
// and the pages of users are UserSearchModel's. From the results list the selected user's
// information or the add-buddy wizard opens (a double click opens the information).
//
//   UserSearchWizard::Open(app);                   // the frame's ID_FUNCTION_SEARCH_USER
//   UserSearchWizard::OpenWithText(app, text);     // ID_FUNCTION_SEARCH_USER_BY_STRING
#pragma once

#include "shell/wizards/user_search_model.h"
#include "shell/wizards/widgets/wizard_frame.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace ov::shell {

class OVShellApp;

class UserSearchWizard final : public WizardFrame {
    Q_OBJECT
public:
    explicit UserSearchWizard(OVShellApp& app, QWidget* parent = nullptr);
    ~UserSearchWizard() override;

    // Shows the application's wizard, creating it when none is open; one per application.
    static UserSearchWizard* Open(OVShellApp& app);
    // The same, searching for a text from the search box at once (UserSearchModel's rules).
    static UserSearchWizard* OpenWithText(OVShellApp& app, const QString& text);

    UserSearchModel& Model() { return model_; }
    // Searches for text as a search box's text does, from whatever page shows.
    void SearchText(const QString& text);

protected:
    void OnBack() override { model_.Back(); }
    void OnNext() override;
    void OnCancel() override { model_.Cancel(); }
    void OnFinish() override { model_.Finish(); }
    bool CancelEnabled() const override { return model_.CanCancel(); }
    void OnClose() override { model_.Close(); }

private:
    QWidget* MakeModePage();
    QWidget* MakeQueryPage();
    QWidget* MakeSearchingPage();
    QWidget* MakeFailedPage();
    QWidget* MakeResultsPage();
    void CopyInput();
    void ShowInput();
    void ShowPage(int page);
    void ShowUsers();
    void UpdateResultButtons();
    int SelectedRow() const;

    UserSearchModel model_;
    QButtonGroup* modes_ = nullptr;
    QRadioButton* onlineUsers_ = nullptr;
    QLineEdit* pin_ = nullptr;
    QLineEdit* userName_ = nullptr;
    QLineEdit* eMail_ = nullptr;
    QLineEdit* nickName_ = nullptr;
    QLineEdit* queryNickName_ = nullptr;
    QLineEdit* lastName_ = nullptr;
    QLineEdit* firstName_ = nullptr;
    QComboBox* ageRange_ = nullptr;
    QComboBox* sex_ = nullptr;
    QComboBox* location_ = nullptr;
    QComboBox* language_ = nullptr;
    QLabel* animation_ = nullptr;
    QLabel* failure_ = nullptr;
    QTreeWidget* users_ = nullptr;
    QPushButton* userInfo_ = nullptr;
    QPushButton* addBuddy_ = nullptr;
    QPushButton* nextPage_ = nullptr;
    QPushButton* previousPage_ = nullptr;
    QPushButton* all_ = nullptr;
};

}  // namespace ov::shell
