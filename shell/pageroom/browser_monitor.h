// BrowserMonitor: Pageroom for every tab of the followed browser. Each tab gets a TabWatcher
// (and a display of its own) when it appears, hears every address it moves to, and is
// detached when it closes or the browser goes. Of the tabs of one browser window only the one
// created or navigated last is active (those open when the browser is found, by their last
// use): its display is the one that shows, placed against that
// window's bounds.
//
//   BrowserMonitor monitor(registry, makeDisplay, ownName, clock, takeFirstShow);
//   monitor.Start(9222);      // at login, or a visible status again
//   monitor.Stop();           // invisible, logout, connection lost, exit
#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <memory>

#include "shell/pageroom/devtools_browser.h"
#include "shell/pageroom/tab_watcher.h"

namespace ov::shell {

class BrowserMonitor final : public QObject {
    Q_OBJECT
public:
    using DisplayFactory = std::function<std::unique_ptr<PageroomDisplay>(const QString& tabId)>;

    BrowserMonitor(GroupRegistry& registry, DisplayFactory displays,
                   std::function<QString()> ownName, SecondsClock clock,
                   std::function<bool()> takeFirstShow, QObject* parent = nullptr);
    ~BrowserMonitor() override;

    void Start(quint16 port);
    void Stop();
    bool Running() const { return running_; }
    const DevToolsBrowser& Browser() const { return browser_; }
    // The watcher of a tab, null when there is none.
    TabWatcher* Tab(const QString& id) const;
    int TabCount() const { return static_cast<int>(tabs_.size()); }

private:
    struct Watched {
        std::unique_ptr<PageroomDisplay> display;
        std::unique_ptr<TabWatcher> watcher;
        int window = 0;       // 0 while unknown
        quint64 changed = 0;  // when it was created or navigated last
        bool active = false;
    };

    void OnTabChanged(const QString& id, const QString& address);
    void OnTabClosed(const QString& id);
    void OnTabWindow(const QString& id, int window, const QRect& bounds);
    void OnTabsRanked(const QStringList& ids);
    // Tells the tabs of a window which of them is the active one.
    void ElectActive(int window);

    GroupRegistry& registry_;
    DisplayFactory displays_;
    std::function<QString()> ownName_;
    SecondsClock clock_;
    std::function<bool()> takeFirstShow_;
    DevToolsBrowser browser_;
    std::map<QString, Watched> tabs_;
    quint64 changes_ = 0;
    std::map<QString, quint64> ranked_;  // tabs listed at discovery but not yet reported
    bool running_ = false;
};

}  // namespace ov::shell
