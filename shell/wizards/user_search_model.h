// UserSearchModel: the page flow, checks and kernel commands of the user search wizard. The
// window copies its fields into Entered() and forwards Next, Back, Finish, Cancel and the
// results page's buttons; the model checks the input, sends SearchUser2, keeps the pages of
// users the server answers with, and asks for the online statistics when it is created.
//
//   UserSearchModel model(app);
//   model.Entered().mode = UserSearchModel::kByNickName;
//   model.Entered().nickName = ...;
//   if (auto field = model.Next(); field != Field::None) ...focus it...
//   QObject::connect(&model, &UserSearchModel::PageChanged, ...);    // show the page
//   QObject::connect(&model, &UserSearchModel::UsersChanged, ...);   // refill the list
//   QObject::connect(&model, &UserSearchModel::WizardEnded, ...);    // close the window
//
// A text typed into the search box starts a search at once (StartWithText): digits only are
// a PIN (login names never are; a number too large for one is a nickname), a text with "@"
// and a "." after it is an e-mail address, a valid login name (lower-case letters, digits,
// '-', '_', '.') is a login name, anything else (upper case, Chinese, blanks) a nickname.
//
// Paging: "下一页" shows the next received page, or asks the server for one more when the last
// page says more users follow; "上一页" shows the previous received page. "全部" lists the
// users of every received page together (the pages stay as they are; "上一页"/"下一页" go
// back to one page at a time from the current page).
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <optional>

#include "common/events/event_sink.h"
#include "common/protocol/vocabulary.h"

namespace ov::shell {

class OVShellApp;

class UserSearchModel final : public QObject, public OVServiceEventHandler {
    Q_OBJECT
public:
    enum Page : int {
        kMode = 0,
        kQuery = 1,
        kSearching = 2,
        kFailed = 3,
        kResults = 4,
        kPageCount = 5,
    };

    // The search-mode page's radio buttons, in their order.
    enum Mode : int {
        kByPin = 0,
        kByUserName = 1,
        kByEMail = 2,
        kByNickName = 3,
        kOnlineUsers = 4,
        kCombined = 5,
    };

    // The field a refused check puts the focus on.
    enum class Field { None, Pin, UserName, EMail, NickName, QueryNickName };

    // The combined query's criteria; an empty text or an unset choice is not a criterion.
    struct Criteria {
        QString nickName;
        QString lastName;
        QString firstName;
        std::optional<int> ageRange;
        std::optional<int> sex;  // 0 男士, 1 女士
        std::optional<quint32> location;
        std::optional<int> language;
    };

    struct Input {
        Mode mode = kByPin;
        QString pin;
        QString userName;
        QString eMail;
        QString nickName;
        Criteria query;
    };

    // One user of a result page.
    struct FoundUser {
        qint32 pin = 0;
        QString userName;
        QString nickName;
        quint32 icon = 0;
        quint32 location = 0;
        int ageRange = 0;
        int sex = 0;
        quint32 onlineStatus = OV_ONLINE_STATUS_OFFLINE;
    };

    // A page as the server sent it.
    struct ResultPage {
        int start = 0;
        int count = 0;  // the reply's count: the next page starts after it
        bool more = false;
        QByteArray users;  // whole OV_USER_INFO records, back to back
    };

    // What the last SearchUser2 carried.
    struct SentSearch {
        int start = 0;
        int online = 0;
        QByteArray record;  // one OV_USER_INFO
    };

    explicit UserSearchModel(OVShellApp& app, QObject* parent = nullptr);
    ~UserSearchModel() override;

    Page CurrentPage() const { return page_; }
    Input& Entered() { return input_; }

    // Fills the field the text belongs to (see the top) and searches; an empty text stays on
    // the search-mode page.
    void StartWithText(const QString& text);
    static Mode ModeForText(const QString& text);

    // The wizard's buttons. Next answers the field of a refused check (None when not refused).
    Field Next();
    void Back();
    void Finish();
    void Cancel();
    // The window was closed some other way (its close box): counts as Cancel.
    void Close();

    bool CanBack() const;
    bool CanNext() const { return (page_ == kMode || page_ == kQuery) && !ended_; }
    bool CanCancel() const { return !ended_; }
    bool CanFinish() const { return page_ == kResults && !ended_; }
    bool Ended() const { return ended_; }

    // The results page's buttons.
    void NextPage();
    void PreviousPage();
    void ShowAll();
    bool CanNextPage() const;
    bool CanPreviousPage() const;
    bool CanShowAll() const {
        return page_ == kResults && !ended_ && !allShown_ && pages_.size() > 1;
    }
    // "用户信息" and "添加好友" for the listed user at row; false when there is none.
    bool OpenUserInfo(int row);
    bool AddBuddy(int row);

    // The users listed: the current page's, or every page's after ShowAll.
    const QList<FoundUser>& Users() const { return users_; }
    const QList<ResultPage>& Pages() const { return pages_; }
    int CurrentResultPage() const { return current_; }
    bool AllShown() const { return allShown_; }

    // The failed page's line.
    const QString& FailureText() const { return failure_; }
    // The online-users radio button's text, with the counts once the server gave them.
    const QString& OnlineUsersText() const { return onlineText_; }
    // The outstanding SearchUser2, 0 when none.
    LONG Outstanding() const { return outstanding_; }
    const SentSearch& LastSent() const { return sent_; }
    int SearchesSent() const { return searches_; }

    // The failed page's line for a reply's error.
    static QString ReplyFailureText(OVErrorCodeEnum error);
    // The SearchUser2 record of an input (zero bytes, then the mode's fields).
    static QByteArray BuildRecord(const Input& input);
    // count records from bytes; only whole records are read.
    static QList<FoundUser> DecodeUsers(const QByteArray& bytes, int count);

    void OnSearchUserReply2(LONG nCmdSeqNum, OVErrorCodeEnum eError, VARIANT_BOOL bMore,
                            LONG nCount, std::string_view varUsersInfo) override;
    void OnRequestOnlineUserStatReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                      LONG nOnlineUserCount, LONG nMaxOnlineUserCount) override;
    void OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;

Q_SIGNALS:
    void PageChanged(int page);
    void UsersChanged();
    void OnlineUsersTextChanged(const QString& text);
    // The wizard is over (its command is posted); the window closes.
    void WizardEnded();

private:
    Field Check();
    void Send(int start);
    void ShowResultPage(int index);
    void Fail(const QString& text);
    void GoTo(Page page);
    void End(int command);

    OVShellApp& app_;
    OVServiceEventConnection events_{this};
    Page page_ = kMode;
    bool ended_ = false;
    Input input_;
    Input searched_;  // the input of the search the pages belong to
    SentSearch sent_;
    int searches_ = 0;
    LONG outstanding_ = 0;
    QList<ResultPage> pages_;
    int current_ = -1;
    bool allShown_ = false;
    QList<FoundUser> users_;
    QString failure_;
    QString onlineText_;
};

}  // namespace ov::shell
