#include "shell/wizards/user_search_model.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "common/byte_array_variant.h"
#include "shell/core/commands.h"
#include "shell/core/cp936_text.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/protocol_records.h"
#include "shell/core/shell_app.h"
#include "shell/core/user_directories.h"

namespace ov::shell {

namespace {

constexpr int kRecordSize = static_cast<int>(sizeof(OV_USER_INFO));

QString SendFailureText() {
    return QStringLiteral("网络通讯超时，无法发送信息，请检查您的网络连接！");
}

QString OnlineUsersLabel() {
    return QStringLiteral("查看在线用户");
}

bool AllDigits(const QString& text) {
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return !text.isEmpty();
}

bool IsEMailAddress(const QString& text) {
    const qsizetype at = text.indexOf(u'@');
    return at >= 0 && text.indexOf(u'.', at + 1) >= 0;
}

// The typed number, 0 when it is none.
quint32 PinOf(const QString& text) {
    bool ok = false;
    const quint32 pin = text.trimmed().toUInt(&ok);
    return ok ? pin : 0;
}

bool HasCriterion(const UserSearchModel::Criteria& q) {
    return !q.nickName.isEmpty() || !q.lastName.isEmpty() || !q.firstName.isEmpty() || q.ageRange ||
           q.sex || q.location || q.language;
}

}  // namespace

UserSearchModel::UserSearchModel(OVShellApp& app, QObject* parent)
    : QObject(parent), app_(app), onlineText_(OnlineUsersLabel()) {
    IOVService* kernel = app_.Kernel();
    if (kernel == nullptr)
        return;
    if (const HRESULT hr = events_.Connect(kernel); FAILED(hr)) {
        app_.ReportComponentError(hr, "Advise", __FILE__, __LINE__);
        return;
    }
    // The counts go into the online-users choice while the user picks a mode.
    LONG seq = 0;
    if (const HRESULT hr = kernel->RequestOnlineUserStat(&seq); FAILED(hr))
        app_.ReportComponentError(hr, "RequestOnlineUserStat", __FILE__, __LINE__);
}

UserSearchModel::~UserSearchModel() {
    events_.Disconnect();
}

UserSearchModel::Mode UserSearchModel::ModeForText(const QString& text) {
    const QString t = text.trimmed();
    // Login names are never digits only: a number too large for a PIN is a nickname.
    if (AllDigits(t))
        return PinOf(t) != 0 ? kByPin : kByNickName;
    if (IsEMailAddress(t))
        return kByEMail;
    if (IsValidLoginName(t))
        return kByUserName;
    return kByNickName;
}

void UserSearchModel::StartWithText(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || ended_)
        return;
    input_.mode = ModeForText(t);
    switch (input_.mode) {
        case kByPin:
            input_.pin = t;
            break;
        case kByEMail:
            input_.eMail = t;
            break;
        case kByUserName:
            input_.userName = t;
            break;
        default:
            input_.nickName = t;
            break;
    }
    // From any page: the text is a new search, and a reply still awaited no longer counts.
    page_ = kMode;
    Next();
    if (page_ == kMode)
        GoTo(kMode);
}

QString UserSearchModel::ReplyFailureText(OVErrorCodeEnum error) {
    switch (error) {
        case OV_ERR_NONE:
        case OV_ERR_NO_MATCH:
            return QStringLiteral("没有找到匹配条件的用户，请选择“上一步”，然后重新输入查询条件。");
        case OV_ERR_TIME_OUT:
            return QStringLiteral(
                "网络通讯超时，请检查您的网络连接！注意：查询命令已经发出，但是无法获得服务器的返回"
                "信息");
        default:
            return QStringLiteral(
                       "未知错误！错误代码：%1，请与Orvane技术支持联系！"
                       "(support@orvane.example)")
                .arg(static_cast<int>(error));
    }
}

QByteArray UserSearchModel::BuildRecord(const Input& input) {
    OV_USER_INFO u;
    std::memset(&u, 0, sizeof u);
    switch (input.mode) {
        case kByPin:
            u.nMask = OV_UFLD_PIN;
            u.nPin = PinOf(input.pin);
            break;
        case kByUserName:
            u.nMask = OV_UFLD_USERNAME;
            SetRecordText(u.sUserName, sizeof u.sUserName, input.userName);
            break;
        case kByEMail:
            u.nMask = OV_UFLD_EMAIL;
            SetRecordText(u.sEMail, sizeof u.sEMail, input.eMail);
            break;
        case kByNickName:
            u.nMask = OV_UFLD_NICKNAME;
            SetRecordText(u.sNickName, sizeof u.sNickName, input.nickName);
            break;
        case kOnlineUsers:
            break;
        case kCombined: {
            const Criteria& q = input.query;
            const struct {
                const QString& text;
                uint32_t bit;
                char* field;
                size_t size;
            } texts[] = {
                {q.nickName, OV_UFLD_NICKNAME, u.sNickName, sizeof u.sNickName},
                {q.firstName, OV_UFLD_FIRSTNAME, u.sFirstName, sizeof u.sFirstName},
                {q.lastName, OV_UFLD_LASTNAME, u.sLastName, sizeof u.sLastName},
            };
            for (const auto& t : texts) {
                if (t.text.isEmpty())
                    continue;
                u.nMask |= t.bit;
                SetRecordText(t.field, t.size, t.text);
            }
            if (q.language) {
                u.nMask |= OV_UFLD_LANGUAGE;
                u.nLanguage = static_cast<uint16_t>(*q.language);
            }
            if (q.location) {
                u.nMask |= OV_UFLD_LOCATION;
                u.nLocation = *q.location;
            }
            if (q.ageRange) {
                u.nMask |= OV_UFLD_AGERANGE;
                u.nAgeRange = static_cast<uint8_t>(*q.ageRange);
            }
            if (q.sex) {
                u.nMask |= OV_UFLD_SEX;
                u.nSex = static_cast<uint8_t>(*q.sex);
            }
            break;
        }
    }
    return QByteArray(reinterpret_cast<const char*>(&u), sizeof u);
}

QList<UserSearchModel::FoundUser> UserSearchModel::DecodeUsers(const QByteArray& bytes, int count) {
    QList<FoundUser> users;
    const int whole = static_cast<int>(bytes.size() / kRecordSize);
    const int n = std::max(0, std::min(count, whole));
    users.reserve(n);
    for (int i = 0; i < n; ++i) {
        OV_USER_INFO u;
        std::memcpy(&u, bytes.constData() + static_cast<qsizetype>(i) * kRecordSize, sizeof u);
        FoundUser f;
        f.pin = static_cast<qint32>(u.nPin);
        f.userName = RecordText(u.sUserName);
        f.nickName = RecordText(u.sNickName);
        f.icon = u.nIcon;
        f.location = u.nLocation;
        f.ageRange = u.nAgeRange;
        f.sex = u.nSex;
        f.onlineStatus = u.nOnlineStatus;
        users.push_back(f);
    }
    return users;
}

bool UserSearchModel::CanBack() const {
    if (ended_)
        return false;
    return page_ == kQuery || page_ == kFailed || page_ == kResults;
}

UserSearchModel::Field UserSearchModel::Next() {
    if (!CanNext())
        return Field::None;
    if (page_ == kMode && input_.mode == kCombined) {
        GoTo(kQuery);
        return Field::None;
    }
    if (const Field refused = Check(); refused != Field::None)
        return refused;
    // A new search: what the earlier one found goes.
    searched_ = input_;
    pages_.clear();
    current_ = -1;
    allShown_ = false;
    users_.clear();
    Q_EMIT UsersChanged();
    Send(0);
    return Field::None;
}

void UserSearchModel::Back() {
    if (!CanBack())
        return;
    if (page_ == kQuery)
        GoTo(kMode);
    else
        GoTo(input_.mode == kCombined ? kQuery : kMode);
}

void UserSearchModel::Finish() {
    if (CanFinish())
        End(ID_FUNCTION_SEARCH_USER_FINISHED);
}

void UserSearchModel::Cancel() {
    if (CanCancel())
        End(ID_FUNCTION_SEARCH_USER_CANCELED);
}

void UserSearchModel::Close() {
    if (!ended_)
        End(ID_FUNCTION_SEARCH_USER_CANCELED);
}

UserSearchModel::Field UserSearchModel::Check() {
    const char* text = nullptr;
    Field field = Field::None;
    if (page_ == kQuery) {
        if (!HasCriterion(input_.query)) {
            text = "请至少输入一个查询条件";
            field = Field::QueryNickName;
        }
    } else {
        switch (input_.mode) {
            case kByPin:
                if (PinOf(input_.pin) == 0) {
                    text = "请输入Orvane号码";
                    field = Field::Pin;
                }
                break;
            case kByUserName:
                if (input_.userName.isEmpty()) {
                    text = "请输入登录名";
                    field = Field::UserName;
                }
                break;
            case kByEMail:
                if (input_.eMail.isEmpty()) {
                    text = "请输入电子邮件地址";
                    field = Field::EMail;
                } else if (!IsEMailAddress(input_.eMail)) {
                    text = "错误的电子邮件格式！";
                    field = Field::EMail;
                }
                break;
            case kByNickName:
                if (input_.nickName.isEmpty()) {
                    text = "昵称不能为空，请输入昵称。";
                    field = Field::NickName;
                }
                break;
            case kOnlineUsers:
            case kCombined:
                break;
        }
    }
    if (text != nullptr)
        app_.Desktop().prompts->Message(QString::fromUtf8(text), QString(), Prompts::Icon::Warning);
    return field;
}

void UserSearchModel::Send(int start) {
    sent_.start = start;
    sent_.online = searched_.mode == kOnlineUsers ? 1 : 0;
    sent_.record = BuildRecord(searched_);
    outstanding_ = 0;
    ++searches_;
    if (IOVService* kernel = app_.Kernel()) {
        CByteArrayVariant record(sent_.record.constData(),
                                 static_cast<size_t>(sent_.record.size()));
        LONG seq = 0;
        const HRESULT hr = kernel->SearchUser2(start, sent_.online, record.Variant(), &seq);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "SearchUser2", __FILE__, __LINE__);
        else
            outstanding_ = seq;
    }
    // Nothing was sent (offline): no reply will come.
    if (outstanding_ == 0)
        Fail(SendFailureText());
    else
        GoTo(kSearching);
}

void UserSearchModel::OnSearchUserReply2(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                         VARIANT_BOOL bMore, LONG nCount,
                                         std::string_view varUsersInfo) {
    if (outstanding_ == 0 || nCmdSeqNum != outstanding_ || ended_)
        return;
    outstanding_ = 0;
    ResultPage page;
    page.start = sent_.start;
    page.count = static_cast<int>(std::max<LONG>(nCount, 0));
    page.more = bMore != VARIANT_FALSE;
    // Only whole records are kept: a short reply lists the users it carries.
    const size_t whole =
        std::min(varUsersInfo.size() / kRecordSize, static_cast<size_t>(page.count));
    page.users = QByteArray(varUsersInfo.data(), static_cast<qsizetype>(whole * kRecordSize));
    if (eError != OV_ERR_NONE || whole == 0) {
        Fail(ReplyFailureText(eError));
        return;
    }
    pages_.push_back(page);
    // People one found are people one may add: their names and faces are kept for the
    // windows that follow, unless a record of them is kept already (it may say more).
    UserDataStore& data = app_.UserData();
    for (size_t i = 0; i < whole; ++i) {
        const auto u = RecordOf<OV_USER_INFO>(varUsersInfo.substr(i * kRecordSize, kRecordSize));
        if (u.nPin != 0 && !data.HasUserRecord(static_cast<qint32>(u.nPin)))
            data.UpdateUser(u);
    }
    ShowResultPage(static_cast<int>(pages_.size()) - 1);
    GoTo(kResults);
}

void UserSearchModel::OnRequestOnlineUserStatReply(LONG, OVErrorCodeEnum eError,
                                                   LONG nOnlineUserCount,
                                                   LONG nMaxOnlineUserCount) {
    // Any reply will do: the counts are the server's, whoever asked.
    if (eError != OV_ERR_NONE || ended_)
        return;
    onlineText_ = QStringLiteral("查看在线用户(当前:%1 最大:%2)")
                      .arg(nOnlineUserCount)
                      .arg(nMaxOnlineUserCount);
    Q_EMIT OnlineUsersTextChanged(onlineText_);
}

void UserSearchModel::OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum) {
    // Without an acknowledgement no reply will come: the wizard would wait for ever.
    if (outstanding_ == 0 || nCmdSeqNum != outstanding_ || ended_)
        return;
    outstanding_ = 0;
    Fail(SendFailureText());
}

bool UserSearchModel::CanNextPage() const {
    if (page_ != kResults || ended_ || current_ < 0)
        return false;
    return current_ + 1 < pages_.size() || pages_[current_].more;
}

bool UserSearchModel::CanPreviousPage() const {
    return page_ == kResults && !ended_ && current_ > 0;
}

void UserSearchModel::NextPage() {
    if (!CanNextPage())
        return;
    if (current_ + 1 < pages_.size()) {
        ShowResultPage(current_ + 1);
        GoTo(kResults);
        return;
    }
    const ResultPage& last = pages_[current_];
    Send(last.start + last.count);
}

void UserSearchModel::PreviousPage() {
    if (!CanPreviousPage())
        return;
    ShowResultPage(current_ - 1);
    GoTo(kResults);
}

void UserSearchModel::ShowAll() {
    if (!CanShowAll())
        return;
    allShown_ = true;
    users_.clear();
    for (const ResultPage& p : pages_)
        users_ += DecodeUsers(p.users, p.count);
    Q_EMIT UsersChanged();
    GoTo(kResults);
}

void UserSearchModel::ShowResultPage(int index) {
    current_ = index;
    allShown_ = false;
    users_ = DecodeUsers(pages_[index].users, pages_[index].count);
    Q_EMIT UsersChanged();
}

bool UserSearchModel::OpenUserInfo(int row) {
    if (page_ != kResults || row < 0 || row >= users_.size())
        return false;
    const FoundUser& u = users_[row];
    return app_.Desktop().windows->OpenUserInfo(u.pin, u.userName);
}

bool UserSearchModel::AddBuddy(int row) {
    if (page_ != kResults || row < 0 || row >= users_.size())
        return false;
    const FoundUser& u = users_[row];
    return app_.Desktop().windows->OpenAddBuddy(u.pin, u.userName, static_cast<qint32>(u.icon));
}

void UserSearchModel::Fail(const QString& text) {
    failure_ = text;
    GoTo(kFailed);
}

void UserSearchModel::GoTo(Page page) {
    page_ = page;
    Q_EMIT PageChanged(page_);
}

void UserSearchModel::End(int command) {
    ended_ = true;
    outstanding_ = 0;
    events_.Disconnect();
    if (CHiddenFrame* frame = app_.Frame())
        frame->PostCommand(command);
    Q_EMIT WizardEnded();
}

}  // namespace ov::shell
