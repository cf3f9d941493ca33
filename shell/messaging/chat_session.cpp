#include "shell/messaging/chat_session.h"

#include <QDateTime>
#include <QVariant>

#include "common/byte_array_variant.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/message_text.h"
#include "shell/core/shell_app.h"
#include "shell/core/user_data_store.h"

namespace ov::shell {

namespace {

// Where the frame keeps, for this run of the program, that closing a chat asks no more.
constexpr char kSkipCloseQuestion[] = "chatSkipsCloseQuestion";

QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

ChatLineKind OwnKind(bool action, ChatLineKind state) {
    switch (state) {
        case ChatLineKind::OwnSent:
            return action ? ChatLineKind::OwnActionSent : ChatLineKind::OwnSent;
        case ChatLineKind::OwnSendErr:
            return action ? ChatLineKind::OwnActionSendErr : ChatLineKind::OwnSendErr;
        default:
            return action ? ChatLineKind::OwnActionSending : ChatLineKind::OwnSending;
    }
}

}  // namespace

ChatSession::ChatSession(OVShellApp& app, qint32 peer, QObject* parent)
    : QObject(parent), app_(app), peer_(peer) {
    Timers* timers = app_.Desktop().timers;
    statusTimer_ = timers->Create([this] {
        statusTimer_->Stop();
        statusHeld_ = false;
        RefreshStatus();
    });
    flashTimer_ = timers->Create([this] { Q_EMIT Flash(); });
    requestTimer_ = timers->Create([this] {
        requestTimer_->Stop();
        if (!RequestPending())
            return;
        EndRequest();
        AddLine(ChatLineKind::Error, Utf8("*** 对方没有响应聊天请求！"));
        statusHeld_ = false;
        RefreshStatus();
        Q_EMIT StateChanged();
    });
    if (IOVService* kernel = app_.Kernel()) {
        const HRESULT hr = events_.Connect(kernel);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "Advise", __FILE__, __LINE__);
    }
    RefreshStatus();
}

ChatSession::~ChatSession() {
    events_.Disconnect();
}

QList<qint32> ChatSession::Unacknowledged() const {
    return pending_.Numbers();
}

QString ChatSession::PeerName() const {
    const QString name = app_.UserData().DisplayName(peer_);
    return name.isEmpty() ? ShortUserName({}, {}, peer_) : name;
}

QString ChatSession::OwnName() const {
    const CHiddenFrame* frame = app_.Frame();
    const qint32 own = frame ? frame->OwnPin() : 0;
    const QString name = own != 0 ? app_.UserData().DisplayName(own) : QString();
    if (!name.isEmpty())
        return name;
    return ShortUserName({}, frame ? frame->CurrentUser() : QString(), own);
}

void ChatSession::SetDraft(const QString& text) {
    draftLength_ = EscapedLength(text);
    RefreshStatus();
}

bool ChatSession::Send(const QString& text) {
    if (!CanSend())
        return false;
    if (connected_ && text.isEmpty()) {
        ShowStatus(Utf8("消息不能为空!"));
        Play(kChatSoundError, false);
        return false;
    }
    const qint32 number = counter_.Next();
    const LONG seq = Transmit(ChatCode(connected_ ? kChatLine : kChatRequest, number), text);
    if (seq == 0) {
        ShowStatus(Utf8("无法发送消息，请先登录服务器!"));
        Play(kChatSoundError, false);
        return false;
    }
    Play(kChatSoundSend, true);
    if (!connected_) {
        request_ = {seq, number};
        requestTimer_->Start(kRequestTimeoutMs);
        // Stays until the answer comes (or none does).
        ShowStatus(Utf8("正在发送聊天请求，请稍候..."), false);
        AddLine(ChatLineKind::Info, Utf8("*** 正在发送聊天请求，请稍候..."));
        Q_EMIT StateChanged();
        return true;
    }
    const ChatLineText line = FormatChatLine(OwnName(), text);
    const CHiddenFrame* frame = app_.Frame();
    const qint64 key = AddLine(OwnKind(line.action, ChatLineKind::OwnSending), line.text,
                               frame ? frame->OwnPin() : 0);
    pending_.Add({seq, number, key, line.action});
    ClearEdit();
    return true;
}

void ChatSession::Offer(const QString& text, qint32 number) {
    if (ended_ || number == 0)
        return;
    offered_ = ChatNumberOf(number);
    AddLine(ChatLineKind::Info, Utf8("*** %1请求聊天").arg(PeerName()));
    AddLine(ChatLineKind::Info, Utf8("*** 请求信息：%1").arg(text));
    AddLine(ChatLineKind::Info, Utf8("*** 你接受吗？"));
    Q_EMIT StateChanged();
}

void ChatSession::Accept() {
    if (!Offered() || ended_)
        return;
    if (Transmit(ChatCode(kChatAccept, offered_), {}) == 0) {
        ShowStatus(Utf8("无法发送消息，请先登录服务器!"));
        Play(kChatSoundError, false);
        return;
    }
    offered_ = 0;
    // Both asked at once: this answer settles it.
    EndRequest();
    connected_ = true;
    statusHeld_ = false;
    RefreshStatus();
    Q_EMIT StateChanged();
}

void ChatSession::Refuse() {
    if (!Offered() || ended_)
        return;
    if (Transmit(ChatCode(kChatRefuse, offered_), {}) == 0) {
        ShowStatus(Utf8("无法发送消息，请先登录服务器!"));
        Play(kChatSoundError, false);
        return;
    }
    offered_ = 0;
    Q_EMIT StateChanged();
}

bool ChatSession::Close(bool ask) {
    if (ended_)
        return true;
    if (ask && connected_ && !SkipsCloseQuestion()) {
        bool dontAsk = false;
        const bool yes = app_.Desktop().prompts->YesNoDontAsk(
            Utf8("您确定要终止当前的聊天对话吗？"), QString(), &dontAsk);
        if (dontAsk)
            SkipCloseQuestionFromNowOn();
        if (!yes)
            return false;
    }
    // A peer waiting for an answer to the own request hears of the close as well.
    if (connected_ || RequestPending())
        Transmit(ChatCode(kChatClose, 0), {});
    ended_ = true;
    connected_ = false;
    EndRequest();
    statusTimer_->Stop();
    flashTimer_->Stop();
    events_.Disconnect();
    Q_EMIT StateChanged();
    return true;
}

void ChatSession::StopFlash() {
    flashTimer_->Stop();
}

bool ChatSession::Flashing() const {
    return flashTimer_->Active();
}

void ChatSession::OnUserMessageReceived(LONG nFromPin, LONG, LONG nComponentID, LONG nComponentCode,
                                        std::string_view varMessage, LONG) {
    if (ended_ || nComponentID != OV_COMPONENT_CHAT || nFromPin != peer_)
        return;
    const qint32 number = ChatNumberOf(nComponentCode);
    switch (ChatKindOf(nComponentCode)) {
        case kChatLine:
            if (connected_)
                ReceiveLine(UnescapedBody(QByteArrayView(varMessage.data(), varMessage.size())),
                            true, number);
            break;
        case kChatRequest: {
            const QString text =
                UnescapedBody(QByteArrayView(varMessage.data(), varMessage.size()));
            if (connected_)
                ReceiveLine(text, false, number);
            else
                Offer(text, number);
            break;
        }
        case kChatAck:
            Acknowledged(number);
            break;
        case kChatAccept:
            if (!RequestPending() || number != request_.number)
                break;
            EndRequest();
            offered_ = 0;
            connected_ = true;
            ShowStatus(Utf8("对方接受聊天！"));
            AddLine(ChatLineKind::Info, Utf8("*** 对方接受聊天！"));
            ClearEdit();
            Q_EMIT StateChanged();
            break;
        case kChatRefuse:
            if (!RequestPending() || number != request_.number)
                break;
            EndRequest();
            AddLine(ChatLineKind::Error, Utf8("*** 对方拒绝聊天！"));
            ShowStatus(Utf8("对方拒绝聊天！"));
            Q_EMIT StateChanged();
            break;
        case kChatClose:
            if (!connected_ && !Offered())
                break;
            connected_ = false;
            offered_ = 0;
            AddLine(ChatLineKind::Error, Utf8("*** 对方关闭连接！"));
            Play(kChatSoundPeerClosed, false);
            ShowStatus(Utf8("对方关闭连接"));
            Q_EMIT StateChanged();
            break;
        default:
            break;
    }
}

void ChatSession::OnSendToUserReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) {
    if (nCmdSeqNum == 0)
        return;
    if (eError != OV_ERR_NONE) {
        SendFailed(nCmdSeqNum, Utf8("消息发送错误!(连接服务器超时)"));
        return;
    }
    // The server has it; the peer's acknowledgement (or answer) is what counts now.
    if (request_.seq == nCmdSeqNum)
        request_.seq = 0;
    pending_.Delivered(nCmdSeqNum);
}

void ChatSession::OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum) {
    if (nCmdSeqNum != 0)
        SendFailed(nCmdSeqNum, Utf8("消息发送错误，发送超时!"));
}

void ChatSession::SendFailed(LONG seq, const QString& status) {
    if (RequestPending() && request_.seq == seq) {
        EndRequest();
        ShowStatus(status);
        Play(kChatSoundError, false);
        Q_EMIT StateChanged();
        return;
    }
    if (const auto failed = pending_.Fail(seq)) {
        SetLineKind(failed->key, OwnKind(failed->action, ChatLineKind::OwnSendErr));
        ShowStatus(status);
        Play(kChatSoundError, false);
    }
}

void ChatSession::ReceiveLine(const QString& text, bool acknowledge, qint32 number) {
    flashTimer_->Start(kFlashMs);
    const ChatLineText line = FormatChatLine(PeerName(), text);
    const ChatLineKind kind = line.action       ? ChatLineKind::Action
                              : Mentioned(text) ? ChatLineKind::Highlight
                                                : ChatLineKind::Text;
    AddLine(kind, line.text, peer_);
    if (acknowledge)
        Transmit(ChatCode(kChatAck, number), {});
}

void ChatSession::Acknowledged(qint32 number) {
    if (const auto sent = pending_.Acknowledge(number)) {
        SetLineKind(sent->key, OwnKind(sent->action, ChatLineKind::OwnSent));
        Play(kChatSoundAcknowledged, true);
    }
}

bool ChatSession::Mentioned(const QString& text) const {
    const CHiddenFrame* frame = app_.Frame();
    QStringList names;
    if (frame && !frame->CurrentUser().isEmpty())
        names << frame->CurrentUser();
    // A bracketed name is the stand-in for a missing nickname, not something people type.
    const QString own = OwnName();
    if (!own.startsWith(QLatin1Char('[')))
        names << own;
    for (const QString& name : names)
        if (text.contains(name, Qt::CaseInsensitive))
            return true;
    return false;
}

LONG ChatSession::Transmit(qint32 code, const QString& text) {
    IOVService* kernel = app_.Kernel();
    if (kernel == nullptr)
        return 0;
    const QByteArray body = EscapedBody(text);
    CByteArrayVariant message(body.constData(), static_cast<size_t>(body.size()));
    LONG seq = 0;
    const HRESULT hr =
        kernel->SendToUser(peer_, 0, OV_COMPONENT_CHAT, code, message.Variant(), &seq);
    if (FAILED(hr)) {
        app_.ReportComponentError(hr, "SendToUser", __FILE__, __LINE__);
        return 0;
    }
    return seq;
}

qint64 ChatSession::AddLine(ChatLineKind kind, const QString& text, qint32 pin) {
    const QDateTime now = QDateTime::fromSecsSinceEpoch(app_.Desktop().clock()).toLocalTime();
    ChatLine line{nextKey_++, kind,
                  QString::asprintf("[%02d:%02d] ", now.time().hour(), now.time().minute()) + text,
                  pin};
    lines_.push_back(line);
    Q_EMIT LineAdded(line);
    return line.key;
}

void ChatSession::SetLineKind(qint64 key, ChatLineKind kind) {
    for (ChatLine& line : lines_) {
        if (line.key != key)
            continue;
        line.kind = kind;
        Q_EMIT LineChanged(line);
        return;
    }
}

void ChatSession::ShowStatus(const QString& text, bool hold) {
    statusHeld_ = true;
    if (hold)
        statusTimer_->Start(kStatusHoldMs);
    else
        statusTimer_->Stop();
    if (status_ == text)
        return;
    status_ = text;
    Q_EMIT StatusChanged(status_);
}

void ChatSession::RefreshStatus() {
    if (statusHeld_)
        return;
    const char* format = connected_ ? "请输入聊天信息内容 (%1/%2)" : "请输入聊天请求信息 (%1/%2)";
    const QString text = Utf8(format).arg(draftLength_).arg(kMessageLimit);
    if (status_ == text)
        return;
    status_ = text;
    Q_EMIT StatusChanged(status_);
}

void ChatSession::Play(int sound, bool optional) {
    Sounds* sounds = app_.Desktop().sounds;
    if (sounds == nullptr || (optional && app_.Settings().bChatNoSound))
        return;
    const QString file = SoundFile(sound);
    if (!file.isEmpty())
        sounds->Play(sound, app_.ProgramDirectory() + "sound/" + file);
}

void ChatSession::ClearEdit() {
    draftLength_ = 0;
    Q_EMIT EditCleared();
    RefreshStatus();
}

void ChatSession::EndRequest() {
    request_ = {};
    requestTimer_->Stop();
}

// The frame lives as long as the program runs: the answer is kept on it for that run.
bool ChatSession::SkipsCloseQuestion() const {
    if (const CHiddenFrame* frame = app_.Frame())
        return frame->property(kSkipCloseQuestion).toBool();
    return skipCloseQuestion_;
}

void ChatSession::SkipCloseQuestionFromNowOn() {
    skipCloseQuestion_ = true;
    if (CHiddenFrame* frame = app_.Frame())
        frame->setProperty(kSkipCloseQuestion, true);
}

}  // namespace ov::shell
