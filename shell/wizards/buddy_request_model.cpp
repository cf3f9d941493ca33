#include "shell/wizards/buddy_request_model.h"

#include "shell/core/shell_app.h"

namespace ov::shell {

BuddyRequestModel::BuddyRequestModel(OVShellApp& app, const PendingItem& item, QObject* parent)
    : QObject(parent),
      app_(app),
      pin_(item.nNumber),
      userName_(item.text2.isEmpty() ? QString::number(item.nNumber) : item.text2),
      icon_(item.value1),
      text_(item.text) {
    if (IOVService* kernel = app_.Kernel()) {
        const HRESULT hr = events_.Connect(kernel);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "Advise", __FILE__, __LINE__);
    }
}

BuddyRequestModel::~BuddyRequestModel() {
    events_.Disconnect();
}

bool BuddyRequestModel::CanSendMessage() const {
    const ShellWindows* windows = app_.Desktop().windows;
    return !ended_ && windows != nullptr && windows->CanOpen(kSendMessageCommand);
}

void BuddyRequestModel::Answer(bool accept) {
    if (!CanAnswer())
        return;
    LONG seq = 0;
    if (IOVService* kernel = app_.Kernel()) {
        const HRESULT hr =
            kernel->ReplyAddBuddyRequest(pin_, accept ? OV_BUDDY_ACCEPT : OV_BUDDY_DENY, &seq);
        if (FAILED(hr)) {
            app_.ReportComponentError(hr, "ReplyAddBuddyRequest", __FILE__, __LINE__);
            seq = 0;
        }
    }
    if (seq == 0) {
        NotDelivered();
        return;
    }
    outstanding_ = seq;
    accepting_ = accept;
    Q_EMIT Changed();
}

void BuddyRequestModel::SendMessage() {
    if (CanSendMessage())
        app_.Desktop().windows->OpenSendMessage(pin_);
}

void BuddyRequestModel::Close() {
    if (!ended_)
        End();
}

void BuddyRequestModel::OnCommandSent(LONG nCmdSeqNum) {
    // The server has the answer: it tells the requester and keeps the buddy tree.
    if (ended_ || outstanding_ == 0 || nCmdSeqNum != outstanding_)
        return;
    outstanding_ = 0;
    // A yes makes the two buddies of each other: the server put the requester into this
    // user's tree as well, which the tree from the server now shows.
    if (accepting_) {
        if (IOVService* kernel = app_.Kernel()) {
            LONG seq = 0;
            const HRESULT hr = kernel->RequestBuddyTree2(&seq);
            if (FAILED(hr))
                app_.ReportComponentError(hr, "RequestBuddyTree2", __FILE__, __LINE__);
        }
    }
    End();
}

void BuddyRequestModel::OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum) {
    if (ended_ || outstanding_ == 0 || nCmdSeqNum != outstanding_)
        return;
    outstanding_ = 0;
    NotDelivered();
    Q_EMIT Changed();
}

void BuddyRequestModel::NotDelivered() {
    app_.Desktop().prompts->Message(
        QStringLiteral("网络通讯超时，无法发送信息，请检查您的网络连接！"),
        QStringLiteral("Orvane提示"), Prompts::Icon::Warning);
}

void BuddyRequestModel::End() {
    ended_ = true;
    events_.Disconnect();
    Q_EMIT WindowEnded();
}

}  // namespace ov::shell
