#include "shell/messaging/send_message_model.h"

#include "common/byte_array_variant.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/shell_app.h"

namespace ov::shell {

namespace {

constexpr int kSoundSend = 31;
constexpr int kSoundSent = 32;
constexpr int kSoundError = 33;

}  // namespace

SendMessageModel::SendMessageModel(OVShellApp& app, qint32 recipient, QObject* parent)
    : QObject(parent), app_(app), recipient_(recipient) {
    Timers& timers = *app_.Desktop().timers;
    closeTimer_ = timers.Create([this] {
        closeTimer_->Stop();
        Q_EMIT CloseWindow();
    });
    sendTimer_ = timers.Create([this] {
        sendTimer_->Stop();
        if (laterText_)
            Send(laterText_());
    });
    statusTimer_ = timers.Create([this] {
        statusTimer_->Stop();
        ShowCount();
    });
    animationTimer_ = timers.Create([this] { Q_EMIT AnimationStep(++step_); });
    if (IOVService* kernel = app_.Kernel()) {
        const HRESULT hr = events_.Connect(kernel);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "Advise", __FILE__, __LINE__);
    }
    ShowCount();
}

SendMessageModel::~SendMessageModel() {
    events_.Disconnect();
}

MessageStyle SendMessageModel::Style() const {
    const UserSettings& s = app_.Settings();
    return SendStyle(s.lfSendMsgMessageFont, s.clrSendMsgMessageColor, s.clrSendMsgMessageBk);
}

std::optional<TextCut> SendMessageModel::Edited(const QString& text, int selectionEnd) {
    std::optional<TextCut> cut = OverLimitCut(text, selectionEnd);
    QString kept = text;
    if (cut)
        kept.remove(cut->start, cut->end - cut->start);
    length_ = EscapedLength(kept);
    Q_EMIT LengthChanged(length_);
    if (!statusTimer_->Active() && !Sending())
        ShowCount();
    return cut;
}

void SendMessageModel::ShowCount() {
    ShowStatus(QStringLiteral("请输入消息内容 (%1/%2)").arg(length_).arg(kMessageLimit), false);
}

void SendMessageModel::ShowStatus(const QString& text, bool resetLater) {
    status_ = text;
    Q_EMIT StatusChanged(status_);
    if (resetLater)
        statusTimer_->Start(kStatusResetMs);
}

void SendMessageModel::Sound(int id) {
    if (app_.Settings().bSendMsgNoSound && id != kSoundError)
        return;
    if (CHiddenFrame* frame = app_.Frame())
        frame->PlaySound(id);
}

void SendMessageModel::SendLater(std::function<QString()> text) {
    laterText_ = std::move(text);
    sendTimer_->Start(0);
}

void SendMessageModel::Send(const QString& text) {
    if (Sending())
        return;
    if (text.isEmpty()) {
        Fail(QStringLiteral("消息不能为空!"));
        return;
    }
    const MessageStyle style = Style();
    IOVService* kernel = app_.Kernel();
    LONG number = 0;
    if (kernel) {
        const QByteArray wire = ComposeMessage(style, text);
        CByteArrayVariant body(wire.constData(), size_t(wire.size()));
        const HRESULT hr = kernel->SendToUser(recipient_, OV_MSGT_SAVE, OV_COMPONENT_MESSAGER, 0,
                                              body.Variant(), &number);
        if (FAILED(hr)) {
            app_.ReportComponentError(hr, "SendToUser", __FILE__, __LINE__);
            number = 0;
        }
    }
    if (number == 0) {
        Fail(QStringLiteral("无法发送消息，请先登录服务器!"));
        return;
    }
    pending_ = number;
    sentText_ = text;
    sentStyle_ = style;
    Q_EMIT InputLocked(true);
    Sound(kSoundSend);
    statusTimer_->Stop();
    ShowStatus(QStringLiteral("正在发送，请稍候..."), false);
    step_ = 0;
    animationTimer_->Start(kAnimationStepMs);
}

void SendMessageModel::Fail(const QString& status) {
    ShowStatus(status, true);
    Sound(kSoundError);
    Q_EMIT FocusEdit();
}

void SendMessageModel::OnSendToUserReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) {
    if (nCmdSeqNum != pending_ || pending_ == 0)
        return;
    if (eError != OV_ERR_NONE) {
        Finish(QStringLiteral("消息发送错误!"), kSoundError);
        return;
    }
    UserDataStore& data = app_.UserData();
    ParsedMessage sent{true, sentStyle_, sentText_};
    MessageRecord record = RecordOf(sent, kMessageSent, recipient_,
                                    static_cast<qint32>(app_.Desktop().clock()));
    record.sPeerName = data.DisplayName(recipient_);
    data.AddMessage(record);
    Finish(QStringLiteral("消息发送成功!"), kSoundSent);
    Q_EMIT ClearEdit();
    if (closeAfterSend_)
        closeTimer_->Start(kCloseDelayMs);
}

void SendMessageModel::OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum) {
    if (nCmdSeqNum != pending_ || pending_ == 0)
        return;
    Finish(QStringLiteral("消息发送错误，发送超时!"), kSoundError);
}

void SendMessageModel::Finish(const QString& status, int sound) {
    pending_ = 0;
    animationTimer_->Stop();
    step_ = 0;
    Q_EMIT AnimationStep(0);
    ShowStatus(status, true);
    Sound(sound);
    Q_EMIT InputLocked(false);
    Q_EMIT FocusEdit();
}

}  // namespace ov::shell
