#include "shell/pageroom/tab_watcher.h"

#include "shell/pageroom/page_keys.h"

namespace ov::shell {

TabWatcher::TabWatcher(GroupRegistry& registry, PageroomDisplay& display,
                       std::function<QString()> ownName, SecondsClock clock,
                       std::function<bool()> takeFirstShow)
    : registry_(registry),
      display_(display),
      observer_(display, std::move(ownName), std::move(clock)),
      takeFirstShow_(std::move(takeFirstShow)) {}

TabWatcher::~TabWatcher() {
    Detach();
}

void TabWatcher::Navigated(const QString& address) {
    // The browser reports a tab between two pages with no address: it has left neither yet,
    // and leaving the groups would tell everyone it went and came back.
    if (detached_ || address.isEmpty())
        return;
    const std::optional<PageKeys> keys = PageKeysOf(address);
    if (!keys) {
        Leave(kSiteView);
        Leave(kPageView);
        display_.ShowLogo(false);
        display_.ShowWindow(false);
        return;
    }
    display_.ShowLogo(true);
    if (takeFirstShow_ && takeFirstShow_())
        display_.ShowWindow(true);
    Join(kSiteView, OV_GT_SITE, keys->site);
    Join(kPageView, OV_GT_URL, keys->page);
}

void TabWatcher::Detach() {
    if (detached_)
        return;
    detached_ = true;
    Leave(kPageView);
    Leave(kSiteView);
}

void TabWatcher::Join(int view, OVGroupTypeEnum type, const QString& key) {
    OVGroupInfo* held = observer_.GroupOf(view);
    if (held && held->Name() == key)
        return;
    Leave(view);
    OVGroupInfo& group = registry_.Acquire(type, key, &observer_);
    if (view == kSiteView)
        observer_.SetGroups(&group, observer_.Page());
    else
        observer_.SetGroups(observer_.Site(), &group);
    group.Enter(&observer_, nullptr, QString());
    display_.SetViewGroup(view, &group);
    display_.LogoCount(view, group.OnlineCount());
}

void TabWatcher::Leave(int view) {
    OVGroupInfo* group = observer_.GroupOf(view);
    if (!group)
        return;
    display_.LogoCount(view, 0);
    registry_.Release(group->Type(), group->Name(), &observer_);
    group->LeaveIfIdle(0);
    if (view == kSiteView)
        observer_.SetGroups(nullptr, observer_.Page());
    else
        observer_.SetGroups(observer_.Site(), nullptr);
    display_.SetViewGroup(view, nullptr);
}

}  // namespace ov::shell
