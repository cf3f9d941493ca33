// AddBuddyModel: the page flow, checks and kernel commands of the add-buddy wizard. The window
// copies its fields into the model and forwards Next, Back, Finish and Cancel; the model finds
// the user (RequestUserInfo when only a name is known), sends AddUserToBuddyTree, follows the
// replies on a sink of its own and the other user's later answer through the user data.
//
//   AddBuddyModel model(app);                     // the welcome page
//   AddBuddyModel model(app); model.OpenFor(pin, name, icon);   // false: no user's number
//   model.SetMethod(AddBuddyModel::Method::ByPin); model.Entered() = "10001"; model.Next();
//   QObject::connect(&model, &AddBuddyModel::PageChanged, ...);
//   QObject::connect(&model, &AddBuddyModel::TargetChanged, ...);   // caption, face, status
//   QObject::connect(&model, &AddBuddyModel::WizardEnded, ...);     // close the window
//
// The user's node in the buddy tree follows the addition through its display state:
//   kBuddyAdding          stored when the first AddUserToBuddyTree leaves (not shown), and kept
//                         while the other user asks for a verification text;
//   kBuddyShown           the server added the buddy (at once, or the other user accepted);
//   kBuddyAwaitingAnswer  the verification text went to the other user ("待验证好友");
//   (removed)             the server refused, the command failed, or the wizard closed while
//                         its node was still being added.
// Another wizard finding a node kBuddyAdding leaves it alone (that wizard is at work), replaces
// one awaiting an answer or being removed, and refuses a shown one.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "common/events/event_sink.h"
#include "common/protocol/vocabulary.h"

namespace ov::shell {

class OVShellApp;

class AddBuddyModel final : public QObject, public OVServiceEventHandler {
    Q_OBJECT
public:
    enum Page : int {
        kWelcome = 0,
        kChooseGroup = 1,
        kAdding = 2,
        kVerification = 3,
        kVerificationSent = 4,
        kRefused = 5,
        kFailed = 6,
        kSucceeded = 7,
        kPageCount = 8,
    };

    // How the welcome page names the user.
    enum class Method { ByName, ByPin };

    // What the choose-group page says under its caption.
    enum class Lookup { None, Looking, NotFound };

    struct Group {
        qint32 id = 0;
        QString name;
    };

    // The lowest number of a user; below it a number cannot be added.
    static constexpr qint32 kLowestPin = 10000;
    // The verification text's room on the wire, in code page 936 bytes.
    static constexpr int kMaxVerificationBytes = 400;

    explicit AddBuddyModel(OVShellApp& app, QObject* parent = nullptr);
    ~AddBuddyModel() override;

    // Starts on the choose-group page for a known user. A number below kLowestPin ends the
    // wizard at once (false).
    bool OpenFor(qint32 pin, const QString& userName, qint32 icon);

    Page CurrentPage() const { return page_; }

    // The welcome page's choice and its one field.
    Method CurrentMethod() const { return method_; }
    void SetMethod(Method method) { method_ = method; }
    QString& Entered() { return entered_; }

    // The choose-group page: "好友" first, then the tree's groups; the chosen index.
    const QList<Group>& Groups() const { return groups_; }
    int ChosenGroup() const { return chosen_; }
    void ChooseGroup(int index);
    Lookup LookupState() const { return lookup_; }
    // "添加-%s-用户到你的好友列表中" with the user's name.
    QString GroupCaption() const;

    // The verification page's text.
    QString& VerificationText() { return verification_; }

    // The gestures. A refused Next shows its box and keeps the page.
    void Next();
    void Back();
    void Finish();
    void Cancel();
    // The window was closed some other way (its close box).
    void Close();

    bool CanBack() const;
    bool CanNext() const;
    bool CanCancel() const;
    bool CanFinish() const;
    bool Ended() const { return ended_; }

    // The user to add: 0 until the number is known.
    qint32 TargetPin() const { return pin_; }
    const QString& TargetName() const { return userName_; }
    const QString& TargetDisplayName() const { return displayName_; }
    qint32 TargetIcon() const { return icon_; }
    // The outstanding kernel command, 0 when none.
    LONG Outstanding() const { return outstanding_; }

    void OnRequestUserInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                std::string_view varUserInfo) override;
    void OnAddUserToBuddyTreeReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nPin) override;
    void OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;

Q_SIGNALS:
    void PageChanged(int page);
    // The user's name, face or the lookup changed: the choose-group page redraws, and Next
    // follows the number now known.
    void TargetChanged();
    // The wizard is over; the window closes.
    void WizardEnded();

private:
    enum class Waiting { Nothing, UserInfo, Addition };

    void NextOnWelcome();
    void NextOnChooseGroup();
    void NextOnVerification();
    void EnterChooseGroup();
    void FillGroups();
    void RequestInfo();
    void SendAddition(const QString& message);
    void StoreNode(qint32 state);
    void DropOwnNode();
    void OnUserData(int code, qint64 value);
    void Refuse(const char* text);
    void TakeCachedRecord();
    void GoTo(Page page);
    void End();

    OVShellApp& app_;
    OVServiceEventConnection events_{this};
    Page page_ = kWelcome;
    bool ended_ = false;
    bool openedForUser_ = false;  // no welcome page to go back to

    Method method_ = Method::ByName;
    QString entered_;
    QList<Group> groups_;
    int chosen_ = 0;
    Lookup lookup_ = Lookup::None;
    QString verification_;

    qint32 pin_ = 0;
    QString userName_;
    QString displayName_;
    QString nickName_;
    qint32 icon_ = 0;
    qint32 status_ = OV_ONLINE_STATUS_OFFLINE;
    qint32 group_ = 1;  // the parent group the addition was sent with

    LONG outstanding_ = 0;
    Waiting waiting_ = Waiting::Nothing;
    // This wizard stored the user's node and it is still kBuddyAdding.
    bool ownsAddingNode_ = false;
};

}  // namespace ov::shell
