// ChatSession: the logic of one private chat window, without the window. It speaks the chat
// protocol with one peer through the kernel, on a sink of its own: sends the request or the
// lines, follows their replies and the peer's acknowledgements, answers an incoming request,
// and keeps what the window shows - the lines, the status text, the state.
//
//   ChatSession chat(app, peerPin);
//   QObject::connect(&chat, &ChatSession::LineAdded, view, ...);     // and LineChanged
//   QObject::connect(&chat, &ChatSession::StatusChanged, status, &QLabel::setText);
//   chat.SetDraft(edit->toPlainText());       // after every change of the edit
//   chat.Send(edit->toPlainText());           // a request while unconnected, else a line
//   chat.Offer(item.text, item.value1);       // an incoming request: Accept() or Refuse()
//   if (chat.Close()) window->close();        // may ask first; tells the peer
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <memory>

#include "common/events/event_sink.h"
#include "shell/messaging/chat_line.h"
#include "shell/messaging/chat_protocol.h"

namespace ov::shell {

class OVShellApp;
class ShellTimer;

// The sounds of the chat window.
enum ChatSound : int {
    kChatSoundPeerClosed = 3,
    kChatSoundAcknowledged = 11,
    kChatSoundSend = 31,
    kChatSoundError = 33,
};

class ChatSession final : public QObject, public OVServiceEventHandler {
    Q_OBJECT
public:
    // How long a status message stays before the composing text comes back, how often the
    // window flashes after a line came, and how long a request waits for its answer.
    static constexpr int kStatusHoldMs = 3000;
    static constexpr int kFlashMs = 500;
    static constexpr int kRequestTimeoutMs = 60000;

    ChatSession(OVShellApp& app, qint32 peer, QObject* parent = nullptr);
    ~ChatSession() override;

    qint32 Peer() const { return peer_; }
    bool Connected() const { return connected_; }
    // The own request waits for the peer's answer.
    bool RequestPending() const { return request_.number != 0; }
    qint32 RequestNumber() const { return request_.number; }
    // An incoming request waits for the user's answer.
    bool Offered() const { return offered_ != 0; }
    bool CanSend() const { return !ended_ && !RequestPending(); }
    bool Ended() const { return ended_; }

    const QList<ChatLine>& Lines() const { return lines_; }
    const QString& Status() const { return status_; }
    // The line numbers sent and not yet acknowledged, oldest first.
    QList<qint32> Unacknowledged() const;
    // Short names: the peer's as the user data knows it, and the user's own.
    QString PeerName() const;
    QString OwnName() const;

    // The edit's text changed: the composing status shows its escaped length.
    void SetDraft(const QString& text);
    // The send button. False when nothing went out (the status says why).
    bool Send(const QString& text);
    // An incoming request of the peer with its message and number.
    void Offer(const QString& text, qint32 number);
    void Accept();
    void Refuse();
    // The user closes the window: asks first when connected (unless told not to for this run
    // of the program, or ask is false) and tells the peer. False when the user chose to stay.
    bool Close(bool ask = true);
    // The window was activated: no more flashing.
    void StopFlash();
    bool Flashing() const;

    void OnUserMessageReceived(LONG nFromPin, LONG nToPin, LONG nComponentID, LONG nComponentCode,
                               std::string_view varMessage, LONG nSentTime) override;
    void OnSendToUserReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;
    void OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;

Q_SIGNALS:
    void LineAdded(const ov::shell::ChatLine& line);
    void LineChanged(const ov::shell::ChatLine& line);
    void StatusChanged(const QString& status);
    // Connected, request or offer changed.
    void StateChanged();
    // The edit's text has been used up.
    void EditCleared();
    // Every 500 ms after a line came, until StopFlash.
    void Flash();

private:
    struct Request {
        LONG seq = 0;
        qint32 number = 0;
    };

    LONG Transmit(qint32 code, const QString& text);
    qint64 AddLine(ChatLineKind kind, const QString& text, qint32 pin = 0);
    void SetLineKind(qint64 key, ChatLineKind kind);
    void ShowStatus(const QString& text, bool hold = true);
    void RefreshStatus();
    void Play(int sound, bool optional);
    void EndRequest();
    void ClearEdit();
    void ReceiveLine(const QString& text, bool acknowledge, qint32 number);
    void Acknowledged(qint32 number);
    void SendFailed(LONG seq, const QString& status);
    bool Mentioned(const QString& text) const;
    bool SkipsCloseQuestion() const;
    void SkipCloseQuestionFromNowOn();

    OVShellApp& app_;
    qint32 peer_;
    OVServiceEventConnection events_{this};
    bool connected_ = false;
    bool ended_ = false;
    Request request_;
    qint32 offered_ = 0;
    ChatLineCounter counter_;
    ChatPendingLines pending_;
    QList<ChatLine> lines_;
    qint64 nextKey_ = 1;
    QString status_;
    bool statusHeld_ = false;
    int draftLength_ = 0;
    bool skipCloseQuestion_ = false;  // without a frame to keep it for the run
    std::unique_ptr<ShellTimer> statusTimer_;
    std::unique_ptr<ShellTimer> flashTimer_;    // 21
    std::unique_ptr<ShellTimer> requestTimer_;  // 22
};

}  // namespace ov::shell
