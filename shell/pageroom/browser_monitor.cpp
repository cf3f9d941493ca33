#include "shell/pageroom/browser_monitor.h"

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
    it->second.watcher->Navigated(address);
}

void BrowserMonitor::OnTabClosed(const QString& id) {
    auto it = tabs_.find(id);
    if (it == tabs_.end())
        return;
    it->second.watcher->Detach();
    tabs_.erase(it);
}

}  // namespace ov::shell
