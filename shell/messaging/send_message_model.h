// SendMessageModel: the logic of the send window for one recipient. The window forwards the
// edit's changes and the send gesture; the model keeps the body within its limit, sends the
// message through the kernel, follows the result on a sink of its own, archives what was sent
// and says what the window shows.
//
//   SendMessageModel model(app, 10002);
//   connect(&model, &SendMessageModel::StatusChanged, status, &QLabel::setText);
//   if (auto cut = model.Edited(edit->toPlainText(), caret)) ...remove cut from the edit...
//   model.Send(edit->toPlainText());            // or SendLater() from a key gesture
//
// States: composing; sending (input locked, one pending number, the animation stepping);
// every result returns to composing. Failures leave the text in the edit.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "common/events/event_sink.h"
#include "shell/core/desktop/timers.h"
#include "shell/core/message_text.h"

namespace ov::shell {

class OVShellApp;

class SendMessageModel final : public QObject, public OVServiceEventHandler {
    Q_OBJECT
public:
    // The timers of the window, by their numbers.
    static constexpr int kCloseDelayMs = 0;        // 16: closing after a sent message
    static constexpr int kStatusResetMs = 3000;    // 18: the status line back to the count
    static constexpr int kAnimationStepMs = 50;    // 19: the sending animation

    SendMessageModel(OVShellApp& app, qint32 recipient, QObject* parent = nullptr);
    ~SendMessageModel() override;

    qint32 Recipient() const { return recipient_; }
    bool Sending() const { return pending_ != 0; }
    LONG Pending() const { return pending_; }
    const QString& Status() const { return status_; }
    // The escaped length of the body, as the progress bar shows it.
    int Length() const { return length_; }
    // The window closes after a message went out.
    void SetCloseAfterSend(bool close) { closeAfterSend_ = close; }
    bool CloseAfterSend() const { return closeAfterSend_; }

    // The edit changed (its text and the end of its selection): the range to remove when the
    // body is over its limit. The status line shows the count unless a result is shown.
    std::optional<TextCut> Edited(const QString& text, int selectionEnd);
    // The send button.
    void Send(const QString& text);
    // A send asked for from inside a key handler (timer 17): runs from the event loop with
    // the text the edit has then.
    void SendLater(std::function<QString()> text);

    // The sender's style, from the settings.
    MessageStyle Style() const;

    void OnSendToUserReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;
    void OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;

Q_SIGNALS:
    void StatusChanged(const QString& text);
    void LengthChanged(int length);
    // Input locked while sending; the animation runs while locked.
    void InputLocked(bool locked);
    void AnimationStep(int step);
    void ClearEdit();
    void FocusEdit();
    void CloseWindow();

private:
    void Finish(const QString& status, int sound);
    void Fail(const QString& status);
    void ShowStatus(const QString& text, bool resetLater);
    void ShowCount();
    void Sound(int id);

    OVShellApp& app_;
    const qint32 recipient_;
    OVServiceEventConnection events_{this};
    std::unique_ptr<ShellTimer> closeTimer_;      // 16
    std::unique_ptr<ShellTimer> sendTimer_;       // 17
    std::unique_ptr<ShellTimer> statusTimer_;     // 18
    std::unique_ptr<ShellTimer> animationTimer_;  // 19
    std::function<QString()> laterText_;
    LONG pending_ = 0;
    QString sentText_;  // what the pending number carries
    MessageStyle sentStyle_;
    QString status_;
    int length_ = 0;
    int step_ = 0;
    bool closeAfterSend_ = false;
};

}  // namespace ov::shell
