// UserInfoModel: another user's information as the dialog "用户信息" shows it. Opened for a
// user given by PIN, by login name or both; fetches the record with RequestUserInfo on a
// sink of its own, and hands the user to the add-buddy wizard.
//
//   if (!UserInfoModel::MayOpen(pin, name)) return;        // a system number: nothing opens
//   UserInfoModel model(app, pin, name);
//   QObject::connect(&model, &UserInfoModel::Filled, ...);  // show Shown()
//   model.Fetch();                                          // the window fetches as it opens
//   model.AddBuddy();                                       // opens the wizard, then DialogEnded
//
// A user who hides the details from the asker (the reply OV_ERR_USR_HIDE_USR_INFO) shows only
// who the user is: PIN, login name, nickname and face icon; DetailsHidden() tells the window
// to grey the rest. A user is the same as another by the same login name or the same
// non-zero PIN; what a reply tells (the PIN of a user opened by name) counts too.
#pragma once

#include <QObject>
#include <QString>

#include "common/events/event_sink.h"
#include "shell/wizards/user_profile.h"

namespace ov::shell {

class OVShellApp;

class UserInfoModel final : public QObject, public OVServiceEventHandler {
    Q_OBJECT
public:
    UserInfoModel(OVShellApp& app, qint32 pin, const QString& userName, QObject* parent = nullptr);
    ~UserInfoModel() override;

    // Whether a dialog opens for this user: not for the system's numbers (below 10000 other
    // than 0), nor for a user given by neither number nor name.
    static bool MayOpen(qint32 pin, const QString& userName);
    // Same login name (not empty), or same non-zero PIN.
    static bool SameUser(qint32 pin, const QString& userName, qint32 otherPin,
                         const QString& otherName);
    bool IsFor(qint32 pin, const QString& userName) const;

    qint32 Pin() const { return pin_; }
    const QString& UserName() const { return userName_; }
    // The record last received (only the identity fields when details are hidden).
    const UserProfile& Shown() const { return shown_; }
    bool HasInfo() const { return hasInfo_; }
    bool DetailsHidden() const { return detailsHidden_; }
    const QString& Status() const { return status_; }
    LONG PendingFetch() const { return pendingFetch_; }
    bool CanAddBuddy() const { return pin_ != 0 && !ended_; }
    bool Ended() const { return ended_; }

    void Fetch();
    // Opens the add-buddy wizard for this user and ends the dialog.
    void AddBuddy();
    // The dialog closes (its button or close box).
    void Close();

    void OnRequestUserInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                std::string_view varUserInfo) override;
    void OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;

Q_SIGNALS:
    void Filled();
    void StatusChanged(const QString& status);
    void DialogEnded();

private:
    void SetStatus(const QString& text);

    OVShellApp& app_;
    OVServiceEventConnection events_{this};
    qint32 pin_;
    QString userName_;
    UserProfile shown_;
    bool hasInfo_ = false;
    bool detailsHidden_ = false;
    QString status_;
    LONG pendingFetch_ = 0;
    bool ended_ = false;
};

}  // namespace ov::shell
