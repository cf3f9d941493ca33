#include "shell/wizards/registration_wizard_model.h"

#include <QRandomGenerator>
#include <cstring>
#include <string>

#include "common/byte_array_variant.h"
#include "common/protocol/vocabulary.h"
#include "shell/core/commands.h"
#include "shell/core/cp936_text.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/protocol_records.h"
#include "shell/core/shell_app.h"
#include "shell/core/user_directories.h"
#include "shell/wizards/gateway_handshake.h"

namespace ov::shell {

namespace {

// Suggestions are cut to this many characters, one less than a login name may hold, so a
// suggestion always fits its field.
constexpr int kSuggestionLength = 15;
constexpr int kSuggestionCount = 6;

bool AllDigits(const QString& name) {
    for (const QChar c : name)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

}  // namespace

RegistrationWizardModel::RegistrationWizardModel(OVShellApp& app, QObject* parent)
    : QObject(parent), app_(app) {
    if (IOVService* kernel = app_.Kernel()) {
        const HRESULT hr = events_.Connect(kernel);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "Advise", __FILE__, __LINE__);
    }
}

RegistrationWizardModel::~RegistrationWizardModel() {
    events_.Disconnect();
}

void RegistrationWizardModel::SetTermsAccepted(bool accepted) {
    termsAccepted_ = accepted;
}

bool RegistrationWizardModel::IsRegistrableName(const QString& name, bool allowDot) {
    if (name.isEmpty() || AllDigits(name))
        return false;
    if (!allowDot && name.contains(u'.'))
        return false;
    // The login dialog's rule: a-z, digits, '-', '_', '.', and not dots only.
    return IsValidLoginName(name);
}

bool RegistrationWizardModel::IsValidEMail(const QString& address) {
    const qsizetype at = address.indexOf(u'@');
    return at >= 0 && address.indexOf(u'.', at + 1) >= 0;
}

QByteArray RegistrationWizardModel::BuildUserInfo(const BasicInfo& basic,
                                                  const PersonalInfo& personal) {
    OV_USER_INFO u;
    std::memset(&u, 0, sizeof u);
    u.nMask = OV_UFLD_PASSWORD;
    SetRecordText(u.sPassword, sizeof u.sPassword, basic.password);
    // With no name the server assigns one.
    if (!basic.loginName.isEmpty()) {
        u.nMask |= OV_UFLD_USERNAME;
        SetRecordText(u.sUserName, sizeof u.sUserName, basic.loginName);
    }
    const struct {
        const QString& text;
        uint32_t bit;
        char* field;
        size_t size;
    } texts[] = {
        {basic.nickName, OV_UFLD_NICKNAME, u.sNickName, sizeof u.sNickName},
        {basic.firstName, OV_UFLD_FIRSTNAME, u.sFirstName, sizeof u.sFirstName},
        {basic.lastName, OV_UFLD_LASTNAME, u.sLastName, sizeof u.sLastName},
        {basic.eMail, OV_UFLD_EMAIL, u.sEMail, sizeof u.sEMail},
    };
    for (const auto& t : texts) {
        if (t.text.isEmpty())
            continue;
        u.nMask |= t.bit;
        SetRecordText(t.field, t.size, t.text);
    }
    u.nMask |= OV_UFLD_LOCATION | OV_UFLD_AGERANGE | OV_UFLD_SEX | OV_UFLD_CAREER | OV_UFLD_ICON |
               OV_UFLD_LANGUAGE | OV_UFLD_MODE;
    u.nLocation = personal.location.value_or(0);
    u.nAgeRange = static_cast<uint8_t>(personal.ageRange.value_or(0));
    u.nSex = static_cast<uint8_t>(personal.sex.value_or(0));
    u.nCareer = static_cast<uint8_t>(personal.career);
    u.nIcon = personal.icon;
    u.nLanguage = static_cast<uint16_t>(personal.language.value_or(0));
    u.nMode = basic.hideEMail ? uint32_t{OV_UMODE_HIDE_EMAIL} : 0;
    return QByteArray(reinterpret_cast<const char*>(&u), sizeof u);
}

bool RegistrationWizardModel::CanBack() const {
    if (ended_)
        return false;
    switch (page_) {
        case kTerms:
        case kBasic:
        case kPersonal:
        case kNameTaken:
        case kFailed:
            return true;
        default:
            return false;
    }
}

bool RegistrationWizardModel::CanNext() const {
    if (ended_)
        return false;
    switch (page_) {
        case kWelcome:
        case kBasic:
        case kPersonal:
        case kNameTaken:
            return true;
        case kTerms:
            return termsAccepted_;
        default:
            return false;
    }
}

RegistrationWizardModel::Field RegistrationWizardModel::Next() {
    if (!CanNext())
        return Field::None;
    switch (page_) {
        case kWelcome:
            if (logInInstead_)
                End({ID_FUNCTION_REGISTER_CANCELED, ID_FUNCTION_RELOGIN});
            else
                GoTo(kTerms);
            return Field::None;
        case kTerms:
            GoTo(kBasic);
            return Field::None;
        case kBasic:
            if (const Field refused = CheckBasic(); refused != Field::None)
                return refused;
            GoTo(kPersonal);
            return Field::None;
        case kPersonal:
            if (const Field refused = CheckPersonal(); refused != Field::None)
                return refused;
            SendRegistration();
            return Field::None;
        case kNameTaken:
            if (assignNumber_) {
                basic_.loginName.clear();
            } else {
                if (const Field refused = CheckChosenName(); refused != Field::None)
                    return refused;
                basic_.loginName = chosenName_;
            }
            SendRegistration();
            return Field::None;
        default:
            return Field::None;
    }
}

void RegistrationWizardModel::Back() {
    if (!CanBack())
        return;
    switch (page_) {
        case kTerms:
            GoTo(kWelcome);
            break;
        case kBasic:
            GoTo(kTerms);
            break;
        default:
            // From personal data, a taken name or a failure: back to the data to correct it.
            GoTo(page_ == kPersonal ? kBasic : kPersonal);
            break;
    }
}

void RegistrationWizardModel::Finish() {
    if (!CanFinish())
        return;
    // The login dialog that the frame opens next offers these.
    app_.Login().userName = confirmedName_;
    app_.Login().password = basic_.password;
    End({ID_FUNCTION_REGISTER_FINISHED});
}

void RegistrationWizardModel::Cancel() {
    if (!CanCancel())
        return;
    End({ID_FUNCTION_REGISTER_CANCELED});
}

void RegistrationWizardModel::Close() {
    if (!ended_)
        End({ID_FUNCTION_REGISTER_CANCELED});
}

RegistrationWizardModel::Field RegistrationWizardModel::CheckBasic() {
    const BasicInfo& b = basic_;
    if (!b.loginName.isEmpty() && !IsRegistrableName(b.loginName, false)) {
        Warn("错误的登录名格式");
        return Field::LoginName;
    }
    if (b.password.isEmpty()) {
        Warn("请输入登录密码");
        return Field::Password;
    }
    if (b.password != b.repeatedPassword) {
        Warn("两次输入的密码不一致！");
        return Field::Password;
    }
    if (!b.eMail.isEmpty() && !IsValidEMail(b.eMail)) {
        Warn("错误的电子邮件格式！");
        return Field::EMail;
    }
    if (b.eMail.isEmpty() && !skipEmptyEMailQuestion_) {
        bool dontAsk = false;
        const bool goOn = app_.Desktop().prompts->YesNoDontAsk(
            QStringLiteral("您没有输入电子邮件地址，这样如果你忘记密码，\n将无法取回密码，"
                           "你确定要进入下一步吗？"),
            QString(), &dontAsk);
        skipEmptyEMailQuestion_ = dontAsk;
        if (!goOn)
            return Field::EMail;
    }
    return Field::None;
}

RegistrationWizardModel::Field RegistrationWizardModel::CheckPersonal() {
    const PersonalInfo& p = personal_;
    if (!p.ageRange) {
        Warn("请选择您的年龄段");
        return Field::AgeRange;
    }
    if (!p.sex) {
        Warn("请选择您的性别");
        return Field::Sex;
    }
    if (!p.location) {
        Warn("请选择您所在的位置");
        return Field::Location;
    }
    if (!p.language) {
        Warn("请选择您使用的语言");
        return Field::Language;
    }
    return Field::None;
}

RegistrationWizardModel::Field RegistrationWizardModel::CheckChosenName() {
    if (chosenName_.isEmpty()) {
        Warn("请输入登录名");
        return Field::SuggestedName;
    }
    if (!IsRegistrableName(chosenName_, true)) {
        Warn("错误的登录名格式");
        return Field::SuggestedName;
    }
    return Field::None;
}

void RegistrationWizardModel::SendRegistration() {
    lastRecord_ = BuildUserInfo(basic_, personal_);
    outstanding_ = 0;
    if (IOVService* kernel = app_.Kernel()) {
        // The kernel learns its server only from a handshake, and before anyone has logged in
        // none was made: a registration would go nowhere.
        HandshakeGatewayWhenOffline(app_, kernel, &attempts_);
        CByteArrayVariant record(lastRecord_.constData(), static_cast<size_t>(lastRecord_.size()));
        LONG seq = 0;
        const HRESULT hr = kernel->RegisterUser(record.Variant(), &seq);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "RegisterUser", __FILE__, __LINE__);
        else
            outstanding_ = seq;
    }
    // Nothing was sent (no server to send to): no reply will come.
    GoTo(outstanding_ != 0 ? kRegistering : kFailed);
}

void RegistrationWizardModel::OnRegisterUserReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG,
                                                  std::string_view varUserName) {
    if (outstanding_ == 0 || nCmdSeqNum != outstanding_ || ended_)
        return;
    outstanding_ = 0;
    if (eError == OV_ERR_NONE) {
        confirmedName_ = FromCp936(varUserName);
        // The kernel's text may carry its terminating zero.
        if (const qsizetype zero = confirmedName_.indexOf(QChar(u'\0')); zero >= 0)
            confirmedName_.truncate(zero);
        basic_.loginName = confirmedName_;
        GoTo(kSucceeded);
    } else if (eError == OV_ERR_USR_EXIST) {
        MakeSuggestions();
        GoTo(kNameTaken);
    } else {
        GoTo(kFailed);
    }
}

void RegistrationWizardModel::OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum) {
    // Without an acknowledgement no reply will come: the wizard would wait for ever.
    if (outstanding_ == 0 || nCmdSeqNum != outstanding_ || ended_)
        return;
    outstanding_ = 0;
    GoTo(kFailed);
}

void RegistrationWizardModel::MakeSuggestions() {
    const QString base = basic_.loginName.isEmpty() ? QStringLiteral("ov-") : basic_.loginName;
    QRandomGenerator* random = QRandomGenerator::global();
    suggestions_.clear();
    for (int i = 0; i < kSuggestionCount; ++i)
        suggestions_
            << (base + QString::number(random->bounded(1, 100000))).left(kSuggestionLength);
    assignNumber_ = false;
    chosenName_ = suggestions_.first();
}

void RegistrationWizardModel::GoTo(Page page) {
    page_ = page;
    Q_EMIT PageChanged(page_);
}

void RegistrationWizardModel::End(std::initializer_list<int> commands) {
    ended_ = true;
    outstanding_ = 0;
    events_.Disconnect();
    if (CHiddenFrame* frame = app_.Frame())
        for (const int command : commands)
            frame->PostCommand(command);
    Q_EMIT WizardEnded();
}

void RegistrationWizardModel::Warn(const char* text) {
    app_.Desktop().prompts->Message(QString::fromUtf8(text), QString(), Prompts::Icon::Warning);
}

}  // namespace ov::shell
