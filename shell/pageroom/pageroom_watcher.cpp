#include "shell/pageroom/pageroom_watcher.h"

#include <QDateTime>

#include "shell/core/protocol_records.h"

namespace ov::shell {
namespace {

bool Succeeded(int error) {
    return error == OV_ERR_NONE;
}

}  // namespace

int StatusOverlay(uint32_t status) {
    switch (status) {
        case OV_ONLINE_STATUS_OFFLINE:
            return 2;
        case OV_ONLINE_STATUS_DND:
            return 5;
        case OV_ONLINE_STATUS_AWAY:
            return 4;
        case OV_ONLINE_STATUS_INVISIBLE:
            return 6;
        case OV_ONLINE_STATUS_ONLINE:
            return 3;
        case OV_ONLINE_STATUS_AWAY_AUTO:
            return 7;
        default:
            return 8;
    }
}

PageroomUser MemberOf(const OV_USER_INFO& user) {
    PageroomUser member;
    member.pin = static_cast<qint32>(user.nPin);
    const QString nick = RecordText(user.sNickName);
    const QString name = RecordText(user.sUserName);
    if (!nick.isEmpty())
        member.name = nick;
    else if (!name.isEmpty())
        member.name = QStringLiteral("[%1]").arg(name);
    else
        member.name = QStringLiteral("[%1]").arg(member.pin);
    member.icon = static_cast<qint32>(user.nIcon);
    member.overlay = StatusOverlay(user.nOnlineStatus);
    return member;
}

GroupLine FormatGroupLine(const QString& name, const QString& text) {
    static const QString kMe = QStringLiteral("/me ");
    if (text.size() >= 5 && text.startsWith(kMe, Qt::CaseInsensitive))
        return {true, QStringLiteral("* %1 %2").arg(name, text.mid(kMe.size()))};
    return {false, QStringLiteral("<%1> %2").arg(name, text)};
}

PageroomWatcher::PageroomWatcher(PageroomDisplay& display, std::function<QString()> ownName,
                                 SecondsClock clock)
    : display_(display), ownName_(std::move(ownName)), clock_(std::move(clock)) {}

void PageroomWatcher::SetGroups(OVGroupInfo* site, OVGroupInfo* page) {
    site_ = site;
    page_ = page;
}

int PageroomWatcher::ViewOf(const OVGroupInfo& group) const {
    if (&group == site_)
        return kSiteView;
    if (&group == page_)
        return kPageView;
    return -1;
}

QString PageroomWatcher::Where(int view, const OVGroupInfo& group) const {
    return (view == kSiteView ? QStringLiteral("网站 http://") : QStringLiteral("网页 http://")) +
           group.Name();
}

void PageroomWatcher::Line(int view, ChatLineKind kind, const QString& text, qint32 pin,
                           qint64 key) {
    const QDateTime now = QDateTime::fromSecsSinceEpoch(clock_()).toLocalTime();
    ChatLine line{key != 0 ? key : nextKey_++, kind,
                  QString::asprintf("[%02d:%02d] ", now.time().hour(), now.time().minute()) + text,
                  pin};
    display_.AddLine(view, line);
}

void PageroomWatcher::OnGroupEnterStart(OVGroupInfo& group) {
    const int view = ViewOf(group);
    if (view < 0)
        return;
    Line(view, ChatLineKind::Info, QStringLiteral("*** 正在登录到%1 ...").arg(Where(view, group)));
    if (view == kSiteView)
        display_.LogoAnimate(true);
}

void PageroomWatcher::OnGroupEnterReply(OVGroupInfo& group, int error) {
    const int view = ViewOf(group);
    if (view < 0)
        return;
    const QString where = Where(view, group);
    if (Succeeded(error)) {
        if (display_.WindowMode() == view)
            display_.SetCaption((view == kSiteView ? QStringLiteral("网站模式 - http://")
                                                   : QStringLiteral("网页模式 - http://")) +
                                group.Name());
        Line(view, ChatLineKind::Info, QStringLiteral("*** 登录%1 成功。").arg(where));
    } else if (error == OV_ERR_BAD_GRP_PASSWD) {
        Line(view, ChatLineKind::Info,
             QStringLiteral("*** 无法登录%1，需要密码，密码错误。").arg(where));
    } else if (error == OV_ERR_TIME_OUT) {
        Line(view, ChatLineKind::Info, QStringLiteral("*** 无法登录%1，连接超时。").arg(where));
    } else {
        Line(view, ChatLineKind::Info,
             QStringLiteral("*** 无法登录%1，未知错误(代码:%2)。").arg(where).arg(error));
    }
    if (view == kSiteView)
        display_.LogoAnimate(false);
    display_.LogoCount(view, group.OnlineCount());
    group.RequestUsers();
}

void PageroomWatcher::OnGroupListStart(OVGroupInfo& group) {
    const int view = ViewOf(group);
    if (view < 0)
        return;
    Line(view, ChatLineKind::Info,
         view == kSiteView ? QStringLiteral("*** 正在获取网站在线用户列表...")
                           : QStringLiteral("*** 正在获取网页在线用户列表..."));
}

void PageroomWatcher::OnGroupListReply(OVGroupInfo& group, int error) {
    const int view = ViewOf(group);
    if (view < 0)
        return;
    if (view == kSiteView)
        display_.LogoAnimate(false);
    display_.LogoCount(view, group.OnlineCount());
    QList<PageroomUser> users;
    for (const OV_USER_INFO& u : group.Users())
        users << MemberOf(u);
    display_.SetUsers(view, users);
    const QString what = view == kSiteView ? QStringLiteral("网站") : QStringLiteral("网页");
    if (Succeeded(error))
        Line(view, ChatLineKind::Info, QStringLiteral("*** 获取%1在线用户列表成功").arg(what));
    else
        Line(view, ChatLineKind::Error, QStringLiteral("*** 获取%1在线用户列表失败").arg(what));
}

void PageroomWatcher::OnGroupUserEnter(OVGroupInfo& group, const OV_USER_INFO& user) {
    const int view = ViewOf(group);
    if (view < 0)
        return;
    const PageroomUser member = MemberOf(user);
    display_.LogoFlash();
    display_.LogoCount(view, group.OnlineCount());
    Line(view, ChatLineKind::Join, QStringLiteral("*** <%1> 进入").arg(member.name), member.pin);
    display_.AddUser(view, member);
}

void PageroomWatcher::OnGroupUserLeave(OVGroupInfo& group, const OV_USER_INFO* user, qint32 pin) {
    const int view = ViewOf(group);
    if (view < 0)
        return;
    OV_USER_INFO known = user ? *user : OV_USER_INFO{};
    known.nPin = static_cast<uint32_t>(pin);
    const PageroomUser member = MemberOf(known);
    display_.LogoFlash();
    display_.LogoCount(view, group.OnlineCount());
    Line(view, ChatLineKind::Join, QStringLiteral("*** <%1> 离开").arg(member.name), member.pin);
    display_.RemoveUser(view, pin);
}

void PageroomWatcher::OnGroupUserStatus(OVGroupInfo& group, const OV_USER_INFO& user) {
    const int view = ViewOf(group);
    if (view >= 0)
        display_.UpdateUser(view, MemberOf(user));
}

void PageroomWatcher::OnGroupLeft(OVGroupInfo& group) {
    const int view = ViewOf(group);
    if (view < 0)
        return;
    display_.LogoCount(view, 0);
    display_.SetCaption(QStringLiteral("未登录到网站..."));
}

void PageroomWatcher::OnGroupCountChanged(OVGroupInfo& group) {
    if (const int view = ViewOf(group); view >= 0)
        display_.LogoCount(view, group.OnlineCount());
}

void PageroomWatcher::OnGroupCountReply(OVGroupInfo& group, int) {
    OnGroupCountChanged(group);
}

void PageroomWatcher::OnGroupMessage(OVGroupInfo& group, const OV_USER_INFO& sender,
                                     LONG componentId, LONG, const QString& text, LONG) {
    const int view = ViewOf(group);
    if (view < 0 || componentId != OV_COMPONENT_MESSAGER)
        return;
    display_.LogoFlash();
    const PageroomUser member = MemberOf(sender);
    const GroupLine line = FormatGroupLine(member.name, text);
    ChatLineKind kind = line.action ? ChatLineKind::Action : ChatLineKind::Text;
    const QString own = ownName_ ? ownName_() : QString();
    if (!own.isEmpty() && text.toUpper().contains(own.toUpper()))
        kind = ChatLineKind::Highlight;
    Line(view, kind, line.text, member.pin);
}

void PageroomWatcher::OnGroupSending(OVGroupInfo& group, LONG seq, LONG componentId, LONG,
                                     const QString& text) {
    const int view = ViewOf(group);
    if (view < 0 || componentId != OV_COMPONENT_MESSAGER)
        return;
    const GroupLine line = FormatGroupLine(ownName_ ? ownName_() : QString(), text);
    const qint64 key = nextKey_++;
    own_[view].insert(seq, {key, line.action});
    Line(view, line.action ? ChatLineKind::OwnActionSending : ChatLineKind::OwnSending, line.text,
         0, key);
}

void PageroomWatcher::OnGroupSendResult(OVGroupInfo& group, LONG seq, LONG componentId, LONG,
                                        const QString&, int error) {
    const int view = ViewOf(group);
    if (view < 0 || componentId != OV_COMPONENT_MESSAGER || !own_[view].contains(seq))
        return;
    const auto [key, action] = own_[view].take(seq);
    const bool ok = Succeeded(error);
    display_.SetLineKind(view, key,
                         action
                             ? (ok ? ChatLineKind::OwnActionSent : ChatLineKind::OwnActionSendErr)
                             : (ok ? ChatLineKind::OwnSent : ChatLineKind::OwnSendErr));
}

}  // namespace ov::shell
