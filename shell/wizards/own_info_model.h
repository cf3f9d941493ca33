// OwnInfoModel: the logged-in user's information as the dialog "修改个人资料" edits it. It
// keeps the record last received from the server (the reference), fetches it with
// RequestUserInfo, and sends with UpdateSelfUserInfo only the fields whose values differ
// from it, the privacy choices as rewritten bits of the reference's mode. Replies and send
// errors come on a sink of its own, matched by the two outstanding numbers.
//
//   OwnInfoModel model(app);
//   QObject::connect(&model, &OwnInfoModel::Filled, ...);         // show Reference()
//   QObject::connect(&model, &OwnInfoModel::StatusChanged, ...);  // show Status()
//   model.Fetch();                        // the window fetches as it opens
//   model.Entered() = ...; model.EnteredPrivacy() = ...;  model.Update();
//   model.Close();                        // posts ID_FUNCTION_CHANGE_USER_INFO_FINISHED
//
// Choices of this dialog:
// - It fetches when it opens: what the server keeps is what a person wants to edit. Until
//   the reply comes the pages show the own record of the user data's cache, if there is one.
// - Updating needs a reference: until one arrived nothing is known to compare with (the
//   cached copy may be older than the server's), and a mode built from nothing would clear
//   privacy bits.
// - An update with nothing changed is not sent; the status line says "资料没有改变。".
// - After a successful update it fetches again, so that the next comparison is made with
//   what the server now keeps.
#pragma once

#include <QObject>
#include <QString>

#include "common/events/event_sink.h"
#include "shell/wizards/user_profile.h"

namespace ov::shell {

class OVShellApp;

class OwnInfoModel final : public QObject, public OVServiceEventHandler {
    Q_OBJECT
public:
    explicit OwnInfoModel(OVShellApp& app, QObject* parent = nullptr);
    ~OwnInfoModel() override;

    // The record last received, and whether one was.
    const UserProfile& Reference() const { return reference_; }
    bool HasReference() const { return hasReference_; }
    // What the pages hold; the window copies its controls in before Update. A fetch's reply
    // sets both from the new reference; before one they hold the cached record, if any.
    UserProfile& Entered() { return entered_; }
    Privacy& EnteredPrivacy() { return enteredPrivacy_; }

    void Fetch();
    void Update();
    // The dialog closes (its button or close box).
    void Close();

    bool CanUpdate() const { return hasReference_ && !ended_; }
    bool Ended() const { return ended_; }
    const QString& Status() const { return status_; }
    LONG PendingUpdate() const { return pendingUpdate_; }
    LONG PendingFetch() const { return pendingFetch_; }
    // The last record handed to UpdateSelfUserInfo, and how many were.
    const OV_USER_INFO& LastSent() const { return lastSent_; }
    int UpdatesSent() const { return updatesSent_; }

    // The record an update sends for these pages: the changed fields' bits, every number
    // from the pages, the mode rewritten from the reference's (OV_UFLD_MODE when a privacy
    // choice differs). nMask is 0 when nothing differs.
    static OV_USER_INFO BuildUpdate(const UserProfile& reference, const UserProfile& page,
                                    const Privacy& privacy);

    void OnRequestUserInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                std::string_view varUserInfo) override;
    void OnUpdateSelfUserInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;
    void OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;

Q_SIGNALS:
    // A new reference arrived; the pages show it.
    void Filled();
    void StatusChanged(const QString& status);
    // The dialog is over; the window closes.
    void DialogEnded();

private:
    void ShowCached();
    void SetStatus(const QString& text);

    OVShellApp& app_;
    OVServiceEventConnection events_{this};
    UserProfile reference_;
    bool hasReference_ = false;
    UserProfile entered_;
    Privacy enteredPrivacy_;
    QString status_;
    LONG pendingUpdate_ = 0;
    LONG pendingFetch_ = 0;
    OV_USER_INFO lastSent_{};
    int updatesSent_ = 0;
    bool ended_ = false;
};

}  // namespace ov::shell
