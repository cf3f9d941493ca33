// RegistrationWizardModel: the page flow and checks of the new-user registration wizard, and
// its one kernel command. The window shows the current page, copies what the user typed into
// Basic(), Personal() and the name-taken choice, and forwards Next, Back, Finish and Cancel;
// everything else - which page follows, which field a refused check names, the record that
// goes to the kernel, the reply that moves the wizard on - happens here.
//
//   RegistrationWizardModel model(app);
//   model.Basic().password = ...;
//   if (auto field = model.Next(); field != Field::None) ...focus it...
//   QObject::connect(&model, &RegistrationWizardModel::PageChanged, ...);
//   QObject::connect(&model, &RegistrationWizardModel::WizardEnded, ...);   // close the window
//
// Every gesture that ends the wizard posts its command to the hidden frame first.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "common/events/event_sink.h"

namespace ov::shell {

class OVShellApp;

class RegistrationWizardModel final : public QObject, public OVServiceEventHandler {
    Q_OBJECT
public:
    enum Page : int {
        kWelcome = 0,
        kTerms = 1,
        kBasic = 2,
        kPersonal = 3,
        kNameTaken = 4,
        kRegistering = 5,
        kFailed = 6,
        kSucceeded = 7,
        kPageCount = 8,
    };

    // The control a refused check puts the focus on.
    enum class Field {
        None,
        LoginName,
        Password,
        EMail,
        AgeRange,
        Sex,
        Location,
        Language,
        SuggestedName,
    };

    struct BasicInfo {
        QString loginName;
        QString password;
        QString repeatedPassword;
        QString nickName;
        QString lastName;
        QString firstName;
        QString eMail;
        bool hideEMail = false;
    };

    // The codes of the reference lists; empty where nothing was chosen yet.
    struct PersonalInfo {
        std::optional<int> ageRange;
        std::optional<int> sex;  // 0 male, 1 female, 2 not told
        std::optional<quint32> location;
        std::optional<int> language;
        int career = 0;
        quint32 icon = 0;
    };

    explicit RegistrationWizardModel(OVShellApp& app, QObject* parent = nullptr);
    ~RegistrationWizardModel() override;

    Page CurrentPage() const { return page_; }

    // Welcome page: the choice to log in with an existing account instead.
    void SetLogInInstead(bool logIn) { logInInstead_ = logIn; }
    bool LogInInstead() const { return logInInstead_; }
    // Terms page: the accepting choice.
    void SetTermsAccepted(bool accepted);
    bool TermsAccepted() const { return termsAccepted_; }

    BasicInfo& Basic() { return basic_; }
    PersonalInfo& Personal() { return personal_; }

    // Name-taken page: the suggestions made on entering it, the assign-a-number choice and the
    // name in the combo box's edit field.
    const QStringList& Suggestions() const { return suggestions_; }
    void SetAssignNumber(bool assign) { assignNumber_ = assign; }
    bool AssignNumber() const { return assignNumber_; }
    void SetChosenName(const QString& name) { chosenName_ = name; }
    const QString& ChosenName() const { return chosenName_; }

    // The question about an empty e-mail address is not asked while this is set.
    void SetSkipEmptyEMailQuestion(bool skip) { skipEmptyEMailQuestion_ = skip; }
    bool SkipEmptyEMailQuestion() const { return skipEmptyEMailQuestion_; }

    // The gestures. Next answers the field of a refused check (None when it was not refused).
    Field Next();
    void Back();
    void Finish();
    void Cancel();
    // The window was closed some other way (its close box): counts as Cancel on every page.
    void Close();

    bool CanBack() const;
    bool CanNext() const;
    bool CanCancel() const { return page_ != kSucceeded && !ended_; }
    bool CanFinish() const { return page_ == kSucceeded && !ended_; }
    bool Ended() const { return ended_; }

    // The name the server confirmed (succeeded page).
    const QString& ConfirmedName() const { return confirmedName_; }
    // The outstanding RegisterUser command, 0 when none.
    LONG Outstanding() const { return outstanding_; }
    // The record of the last attempt, as it was handed to the kernel.
    const QByteArray& LastRecord() const { return lastRecord_; }

    // The name rules: digits, a-z, '-', '_' (and '.' where allowed), not digits only.
    static bool IsRegistrableName(const QString& name, bool allowDot);
    // An '@' and, somewhere after the first one, a '.'.
    static bool IsValidEMail(const QString& address);
    // The OV_USER_INFO record of the data.
    static QByteArray BuildUserInfo(const BasicInfo& basic, const PersonalInfo& personal);

    void OnRegisterUserReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nPin,
                             std::string_view varUserName) override;
    // A command the server never acknowledged is given up without its reply event.
    void OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;

Q_SIGNALS:
    void PageChanged(int page);
    // The wizard is over (its command is posted); the window closes.
    void WizardEnded();

private:
    Field CheckBasic();
    Field CheckPersonal();
    Field CheckChosenName();
    void SendRegistration();
    void MakeSuggestions();
    void GoTo(Page page);
    void End(std::initializer_list<int> commands);
    void Warn(const char* text);

    OVShellApp& app_;
    OVServiceEventConnection events_{this};
    Page page_ = kWelcome;
    bool logInInstead_ = false;
    bool termsAccepted_ = false;
    bool assignNumber_ = false;
    bool skipEmptyEMailQuestion_ = true;
    bool ended_ = false;
    BasicInfo basic_;
    PersonalInfo personal_;
    QStringList suggestions_;
    QString chosenName_;
    QString confirmedName_;
    LONG outstanding_ = 0;
    int attempts_ = 0;  // each attempt after a failure asks the next gateway
    QByteArray lastRecord_;
};

}  // namespace ov::shell
