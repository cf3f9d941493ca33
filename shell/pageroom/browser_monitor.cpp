#include "shell/pageroom/browser_monitor.h"

#include <set>

namespace ov::shell {

BrowserMonitor::BrowserMonitor(GroupRegistry& registry, DisplayFactory displays,
                               std::function<QString()> ownName, SecondsClock clock,
                               std::function<bool()> takeFirstShow, QObject* parent)
    : QObject(parent),
      registry_(registry),
      displays_(std::move(displays)),
      ownName_(std::move(ownName)),
      clock_(std::move(clock)),
      takeFirstShow_(std::move(takeFirstShow)) {
    connect(&browser_, &DevToolsBrowser::TabChanged, this, &BrowserMonitor::OnTabChanged);
    connect(&browser_, &DevToolsBrowser::TabClosed, this, &BrowserMonitor::OnTabClosed);
    connect(&browser_, &DevToolsBrowser::TabWindow, this, &BrowserMonitor::OnTabWindow);
    connect(&browser_, &DevToolsBrowser::TabsRanked, this, &BrowserMonitor::OnTabsRanked);
}

BrowserMonitor::~BrowserMonitor() {
    Stop();
}

void BrowserMonitor::Start(quint16 port) {
    running_ = true;
    browser_.Start(port);
}

void BrowserMonitor::Stop() {
    running_ = false;
    browser_.Stop();  // every tab reported closed
    tabs_.clear();
    ranked_.clear();
}

TabWatcher* BrowserMonitor::Tab(const QString& id) const {
    auto it = tabs_.find(id);
    return it == tabs_.end() ? nullptr : it->second.watcher.get();
}

void BrowserMonitor::OnTabChanged(const QString& id, const QString& address) {
    auto it = tabs_.find(id);
    if (it == tabs_.end()) {
        Watched watched;
        watched.display = displays_(id);
        if (!watched.display)
            return;
        watched.watcher = std::make_unique<TabWatcher>(registry_, *watched.display, ownName_,
                                                       clock_, takeFirstShow_);
        it = tabs_.emplace(id, std::move(watched)).first;
    }
    // A tab found open takes the place its last use gives it; any later move makes it the
    // latest.
    auto rank = ranked_.find(id);
    if (rank != ranked_.end()) {
        it->second.changed = rank->second;
        ranked_.erase(rank);
    } else {
        it->second.changed = ++changes_;
    }
    it->second.watcher->Navigated(address);
    if (it->second.window != 0)
        ElectActive(it->second.window);
}

void BrowserMonitor::OnTabClosed(const QString& id) {
    auto it = tabs_.find(id);
    if (it == tabs_.end())
        return;
    it->second.watcher->Detach();
    const int window = it->second.window;
    tabs_.erase(it);
    if (window != 0)
        ElectActive(window);
}

void BrowserMonitor::OnTabWindow(const QString& id, int window, const QRect& bounds) {
    auto it = tabs_.find(id);
    if (it == tabs_.end())
        return;
    Watched& tab = it->second;
    const int before = tab.window;
    tab.window = window;
    // Every tab of a window stands against the same bounds.
    for (auto& [other, watched] : tabs_)
        if (watched.window == window)
            watched.display->SetBrowserBounds(bounds);
    if (before != 0 && before != window)
        ElectActive(before);
    ElectActive(window);
}

void BrowserMonitor::OnTabsRanked(const QStringList& ids) {
    std::set<int> windows;
    for (auto id = ids.crbegin(); id != ids.crend(); ++id) {
        auto it = tabs_.find(*id);
        if (it == tabs_.end()) {
            ranked_[*id] = ++changes_;
            continue;
        }
        it->second.changed = ++changes_;
        if (it->second.window != 0)
            windows.insert(it->second.window);
    }
    for (int window : windows)
        ElectActive(window);
}

void BrowserMonitor::ElectActive(int window) {
    const Watched* latest = nullptr;
    for (const auto& [id, watched] : tabs_)
        if (watched.window == window && (!latest || watched.changed > latest->changed))
            latest = &watched;
    for (auto& [id, watched] : tabs_) {
        if (watched.window != window)
            continue;
        const bool active = &watched == latest;
        if (active != watched.active) {
            watched.active = active;
            watched.display->SetActive(active);
        }
    }
}

}  // namespace ov::shell
