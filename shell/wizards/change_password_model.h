// ChangePasswordModel: the page flow, checks and kernel command of the change-password
// wizard. The window copies the four fields into Entered() and forwards Next, Back, Finish
// and Cancel; the model checks the input, sends ChangePassword, follows its reply on a sink
// of its own and, on success, puts the new password into the settings kept on this computer.
//
//   ChangePasswordModel model(app);           // the user name starts as the logged-in user's
//   model.Entered().oldPassword = ...;
//   if (auto field = model.Next(); field != Field::None) ...focus it...
//   QObject::connect(&model, &ChangePasswordModel::PageChanged, ...);
//   QObject::connect(&model, &ChangePasswordModel::WizardEnded, ...);   // close the window
#pragma once

#include <QObject>
#include <QString>

#include "common/events/event_sink.h"

namespace ov::shell {

class OVShellApp;

class ChangePasswordModel final : public QObject, public OVServiceEventHandler {
    Q_OBJECT
public:
    enum Page : int {
        kInput = 0,
        kSubmitting = 1,
        kFailed = 2,
        kSucceeded = 3,
        kPageCount = 4,
    };

    // The field a refused check puts the focus on.
    enum class Field { None, UserName, OldPassword, NewPassword, RepeatedPassword };

    struct Input {
        QString userName;
        QString oldPassword;
        QString newPassword;
        QString repeatedPassword;
    };

    explicit ChangePasswordModel(OVShellApp& app, QObject* parent = nullptr);
    ~ChangePasswordModel() override;

    Page CurrentPage() const { return page_; }
    Input& Entered() { return input_; }

    // The gestures. Next answers the field of a refused check (None when it was not refused).
    Field Next();
    void Back();
    void Finish();
    void Cancel();
    // The window was closed some other way (its close box): counts as Cancel on every page.
    void Close();

    bool CanBack() const { return page_ == kFailed && !ended_; }
    bool CanNext() const { return page_ == kInput && !ended_; }
    bool CanCancel() const { return page_ != kSucceeded && !ended_; }
    bool CanFinish() const { return page_ == kSucceeded && !ended_; }
    bool Ended() const { return ended_; }

    // The failed page's line.
    const QString& FailureText() const { return failure_; }
    // The outstanding ChangePassword command, 0 when none.
    LONG Outstanding() const { return outstanding_; }

    // The failed page's line for a reply's error.
    static QString ReplyFailureText(OVErrorCodeEnum error);

    void OnChangePasswordReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;
    void OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;

Q_SIGNALS:
    void PageChanged(int page);
    // The wizard is over (its command is posted); the window closes.
    void WizardEnded();

private:
    Field Check();
    void Send();
    void Fail(const QString& text);
    void KeepNewPassword();
    void GoTo(Page page);
    void End(int command);

    OVShellApp& app_;
    OVServiceEventConnection events_{this};
    Page page_ = kInput;
    bool ended_ = false;
    Input input_;
    // What was sent: the fields may change while the reply is on its way.
    Input sent_;
    QString failure_;
    LONG outstanding_ = 0;
    int attempts_ = 0;  // each attempt while offline asks the next gateway
};

}  // namespace ov::shell
