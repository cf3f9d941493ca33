#include "shell/pageroom/pageroom_window_model.h"

#include <QDateTime>

#include "shell/pageroom/group_info.h"

namespace ov::shell {

namespace {

const QChar kColon(0xFF1A);  // "：", the end of a chat target

}  // namespace

PageroomWindowModel::PageroomWindowModel(PageroomSendGate& gate, SecondsClock clock, Sender sender)
    : gate_(gate),
      clock_(std::move(clock)),
      sender_(std::move(sender)),
      caption_(QStringLiteral("未登录到网站...")) {
    if (!sender_)
        sender_ = [](OVGroupInfo& group, const QString& text) {
            return group.Send(OV_COMPONENT_MESSAGER, 0, text);
        };
}

bool PageroomWindowModel::SetMode(int mode) {
    if (mode != kSiteView && mode != kPageView)
        return false;
    if (mode == mode_)
        return false;
    mode_ = mode;
    if (OVGroupInfo* group = groups_[mode])
        caption_ = (mode == kSiteView ? QStringLiteral("网站模式 - http://")
                                      : QStringLiteral("网页模式 - http://")) +
                   group->Name();
    return true;
}

void PageroomWindowModel::SetViewGroup(int view, OVGroupInfo* group) {
    if (view == kSiteView || view == kPageView)
        groups_[view] = group;
}

OVGroupInfo* PageroomWindowModel::Group(int view) const {
    return view == kSiteView || view == kPageView ? groups_[view] : nullptr;
}

ChatLine PageroomWindowModel::Refusal(const QString& text) {
    const QDateTime now = QDateTime::fromSecsSinceEpoch(clock_()).toLocalTime();
    return ChatLine{
        nextKey_--, ChatLineKind::Error,
        QString::asprintf("[%02d:%02d] ", now.time().hour(), now.time().minute()) + text, 0};
}

PageroomSendResult PageroomWindowModel::Send(const QString& edit) {
    PageroomSendResult r;
    r.view = mode_;
    r.edit = edit;
    if (gate_.TooSoon()) {
        r.line = Refusal(QStringLiteral("*** 发送信息过快，请等待1秒再发送，谢谢！"));
        return r;
    }
    if (edit == lastSent_ && !edit.isEmpty()) {
        r.line = Refusal(QStringLiteral("*** 请不要发送重复的信息，谢谢！"));
        return r;
    }
    // Without a site there is no Pageroom at all, whichever view is shown.
    if (edit.isEmpty() || groups_[kSiteView] == nullptr) {
        r.line = Refusal(QStringLiteral("*** 不能发送空消息！"));
        return r;
    }
    OVGroupInfo* group = groups_[mode_];
    if (group == nullptr || !sender_(*group, edit)) {
        r.line = Refusal(QStringLiteral("*** 无法发送信息，请确定您已经登录Orvane服务器！"));
        return r;
    }
    lastSent_ = edit;
    gate_.Sent();
    r.sent = true;
    // A chat target stays for the next line.
    const qsizetype colon = edit.indexOf(kColon);
    r.edit =
        edit.startsWith(QStringLiteral("对 <")) && colon >= 0 ? edit.left(colon + 1) : QString();
    return r;
}

QString PageroomWindowModel::ChatTarget(const QString& name, const QString& edit) {
    const qsizetype colon = edit.indexOf(kColon);
    const QString rest = colon >= 0 ? edit.mid(colon + 1) : edit;
    return QStringLiteral("对 <%1> 说：").arg(name) + rest;
}

QString PageroomWindowModel::SaveName() const {
    return mode_ == kSiteView ? QStringLiteral("网站聊天记录.txt")
                              : QStringLiteral("网页聊天记录.txt");
}

}  // namespace ov::shell
