// TabWatcher: one browser tab's place in Pageroom. Each address the tab shows either qualifies
// (page_keys.h), and the tab joins the site's and the page's groups through the registry,
// or it does not, and the tab leaves both and its logo and window hide. A group is left on
// the server only when no tab watches it any more.
//
//   TabWatcher tab(registry, display, ownName, clock, takeFirstShow);
//   tab.Navigated("http://example.com/a.html");   // joins example.com and example.com/a.html
//   tab.Navigated("http://example.com/b.html");   // only the page group changes
//   tab.Detach();                                  // the tab closed: leaves both
#pragma once

#include <QString>
#include <functional>

#include "shell/pageroom/group_registry.h"
#include "shell/pageroom/pageroom_watcher.h"

namespace ov::shell {

class TabWatcher {
public:
    // takeFirstShow: true once per installation (the setting that shows the Pageroom window
    // the first time a page qualifies, cleared and saved as it is taken).
    TabWatcher(GroupRegistry& registry, PageroomDisplay& display, std::function<QString()> ownName,
               SecondsClock clock, std::function<bool()> takeFirstShow);
    ~TabWatcher();
    TabWatcher(const TabWatcher&) = delete;
    TabWatcher& operator=(const TabWatcher&) = delete;

    void Navigated(const QString& address);
    // The tab went: both groups are left and navigation is ignored from now on.
    void Detach();
    bool Detached() const { return detached_; }

    PageroomWatcher& Observer() { return observer_; }
    OVGroupInfo* Site() const { return observer_.Site(); }
    OVGroupInfo* Page() const { return observer_.Page(); }

private:
    void Join(int view, OVGroupTypeEnum type, const QString& key);
    void Leave(int view);

    GroupRegistry& registry_;
    PageroomDisplay& display_;
    PageroomWatcher observer_;
    std::function<bool()> takeFirstShow_;
    bool detached_ = false;
};

}  // namespace ov::shell
