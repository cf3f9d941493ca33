// BuddyRequestModel: another user's request to add this user as a buddy, as a pending item
// brings it, and the answer. "同意" and "拒绝" send ReplyAddBuddyRequest; the window stays,
// its answers disabled, until the kernel has delivered the answer, then closes; an answer
// that could not be delivered is told in a box and may be given again.
//
//   BuddyRequestModel model(app, item);          // item.nKind == kPendingBuddyRequest
//   model.Answer(true);                           // "同意"
//   QObject::connect(&model, &BuddyRequestModel::Changed, ...);   // buttons
//   QObject::connect(&model, &BuddyRequestModel::WindowEnded, ...);   // close the window
#pragma once

#include <QObject>
#include <QString>

#include "common/events/event_sink.h"
#include "shell/core/pending_item_queue.h"

namespace ov::shell {

class OVShellApp;

// The menu command of a send window to a user; its window may not exist in this program.
inline constexpr int kSendMessageCommand = 32802;

class BuddyRequestModel final : public QObject, public OVServiceEventHandler {
    Q_OBJECT
public:
    BuddyRequestModel(OVShellApp& app, const PendingItem& item, QObject* parent = nullptr);
    ~BuddyRequestModel() override;

    qint32 Pin() const { return pin_; }
    // The requester's user name (the number when the request named none).
    const QString& UserName() const { return userName_; }
    qint32 Icon() const { return icon_; }
    const QString& RequestText() const { return text_; }

    // Sends the answer: accepted with "同意", refused with "拒绝".
    void Answer(bool accept);
    // Opens a send window to the requester.
    void SendMessage();
    // The window closes.
    void Close();

    bool CanAnswer() const { return !ended_ && outstanding_ == 0; }
    bool CanSendMessage() const;
    bool Ended() const { return ended_; }
    // The answer on its way, 0 when none.
    LONG Outstanding() const { return outstanding_; }

    void OnCommandSent(LONG nCmdSeqNum) override;
    void OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;

Q_SIGNALS:
    void Changed();
    void WindowEnded();

private:
    void NotDelivered();
    void End();

    OVShellApp& app_;
    OVServiceEventConnection events_{this};
    qint32 pin_ = 0;
    QString userName_;
    qint32 icon_ = 0;
    QString text_;
    LONG outstanding_ = 0;
    bool accepting_ = false;  // the answer on its way is a yes
    bool ended_ = false;
};

}  // namespace ov::shell
