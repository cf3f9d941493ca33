// PageroomWatcher: how a browser tab's watcher observes its two groups (a site group, view 0,
// and a page group, view 1): every group event becomes a line of that view's chat, a change
// of its user list, the logo's count, flash or animation, or the window's caption.
//
//   PageroomWatcher watcher(display, ownName, clock);
//   watcher.SetGroups(&registry.Acquire(OV_GT_SITE, site, &watcher),
//                     &registry.Acquire(OV_GT_URL, page, &watcher));
//   watcher.Site()->Enter(&watcher, nullptr, QString());
//   watcher.Say(kPageView, "大家好");          // the page group's chat
#pragma once

#include <QMap>
#include <QString>
#include <functional>

#include "shell/core/clock.h"
#include "shell/pageroom/group_info.h"
#include "shell/pageroom/pageroom_display.h"

namespace ov::shell {

// The overlay index of a member's online status.
int StatusOverlay(uint32_t status);
// The member as a list shows it.
PageroomUser MemberOf(const OV_USER_INFO& user);
// "<name> text", or "* name rest" for a text of 5 or more characters that starts with "/me "
// in any case.
struct GroupLine {
    bool action = false;
    QString text;
};
GroupLine FormatGroupLine(const QString& name, const QString& text);

class PageroomWatcher final : public OVGroupObserver {
public:
    PageroomWatcher(PageroomDisplay& display, std::function<QString()> ownName, SecondsClock clock);

    void SetGroups(OVGroupInfo* site, OVGroupInfo* page);
    OVGroupInfo* Site() const { return site_; }
    OVGroupInfo* Page() const { return page_; }
    OVGroupInfo* GroupOf(int view) const { return view == kSiteView ? site_ : page_; }

    void OnGroupUserEnter(OVGroupInfo& group, const OV_USER_INFO& user) override;
    void OnGroupUserLeave(OVGroupInfo& group, const OV_USER_INFO* user, qint32 pin) override;
    void OnGroupCountChanged(OVGroupInfo& group) override;
    void OnGroupCountReply(OVGroupInfo& group, int error) override;
    void OnGroupListStart(OVGroupInfo& group) override;
    void OnGroupListReply(OVGroupInfo& group, int error) override;
    void OnGroupEnterStart(OVGroupInfo& group) override;
    void OnGroupEnterReply(OVGroupInfo& group, int error) override;
    void OnGroupLeft(OVGroupInfo& group) override;
    void OnGroupUserStatus(OVGroupInfo& group, const OV_USER_INFO& user) override;
    void OnGroupMessage(OVGroupInfo& group, const OV_USER_INFO& sender, LONG componentId,
                        LONG componentCode, const QString& text, LONG sentTime) override;
    void OnGroupSending(OVGroupInfo& group, LONG seq, LONG componentId, LONG componentCode,
                        const QString& text) override;
    void OnGroupSendResult(OVGroupInfo& group, LONG seq, LONG componentId, LONG componentCode,
                           const QString& text, int error) override;

private:
    // 0 for the site group, 1 for the page group, -1 for any other.
    int ViewOf(const OVGroupInfo& group) const;
    void Line(int view, ChatLineKind kind, const QString& text, qint32 pin = 0, qint64 key = 0);
    // "网站 http://name" or "网页 http://name" as the notices say it.
    QString Where(int view, const OVGroupInfo& group) const;

    PageroomDisplay& display_;
    std::function<QString()> ownName_;
    SecondsClock clock_;
    OVGroupInfo* site_ = nullptr;
    OVGroupInfo* page_ = nullptr;
    qint64 nextKey_ = 1;
    QMap<LONG, std::pair<qint64, bool>> own_[2];  // seq -> (line key, action) per view
};

}  // namespace ov::shell
