// UserInfoPages: the four tab pages of a user's information - basic, personal, contact and
// privacy - editable for the own information, read-only for another user's. Choices come
// from the application's reference lists and face catalogue.
//
//   auto* pages = new UserInfoPages(app, UserInfoPages::Mode::Editable);
//   pages->Show(profile, Privacy::OfMode(profile.mode));
//   pages->Collect(&model.Entered(), &model.EnteredPrivacy());
#pragma once

#include <QTabWidget>

#include "shell/wizards/user_profile.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace ov::shell {

class OVShellApp;

class UserInfoPages final : public QTabWidget {
    Q_OBJECT
public:
    enum class Mode { Editable, ReadOnly };

    UserInfoPages(OVShellApp& app, Mode mode, QWidget* parent = nullptr);
    ~UserInfoPages() override;

    void Show(const UserProfile& profile, const Privacy& privacy);
    // Copies the controls into *profile and *privacy; a choice nobody made (a sex not
    // given) leaves its field as it was.
    void Collect(UserProfile* profile, Privacy* privacy) const;
    // Greys everything but the PIN, login name, nickname and face (another user who hides
    // the details).
    void SetDetailsHidden(bool hidden);

private:
    QWidget* MakeBasicPage(OVShellApp& app);
    QWidget* MakePersonalPage(OVShellApp& app);
    QWidget* MakeContactPage(OVShellApp& app);
    QWidget* MakePrivacyPage();
    QLineEdit* Edit(const char* name, int maxLength);
    QComboBox* Combo(const char* name);

    const Mode mode_;
    QLineEdit* pin_ = nullptr;
    QLineEdit* userName_ = nullptr;
    QLineEdit* nickName_ = nullptr;
    QLineEdit* lastName_ = nullptr;
    QLineEdit* firstName_ = nullptr;
    QLineEdit* eMail_ = nullptr;
    QComboBox* face_ = nullptr;
    QPlainTextEdit* about_ = nullptr;
    QComboBox* ageRange_ = nullptr;
    QSpinBox* age_ = nullptr;
    QButtonGroup* sex_ = nullptr;
    QComboBox* language_ = nullptr;
    QComboBox* language1_ = nullptr;
    QComboBox* language2_ = nullptr;
    QComboBox* language3_ = nullptr;
    QComboBox* career_ = nullptr;
    QLineEdit* eMail1_ = nullptr;
    QLineEdit* eMail2_ = nullptr;
    QLineEdit* phone_ = nullptr;
    QLineEdit* mobile_ = nullptr;
    QLineEdit* homepage_ = nullptr;
    QComboBox* location_ = nullptr;
    QCheckBox* hideDetails_ = nullptr;
    QCheckBox* hideEMail_ = nullptr;
    QButtonGroup* messages_ = nullptr;
    QButtonGroup* addBuddy_ = nullptr;
    QList<QWidget*> details_;  // what a user who hides the details greys
};

}  // namespace ov::shell
