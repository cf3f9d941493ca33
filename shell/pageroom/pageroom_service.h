// PageroomService: Pageroom for one client. While the frame wants it running (logged in, a
// visible status, the Pageroom switch on) it follows the browser on the DevTools port of the
// machine settings, with a registry of groups that lives as long as that run; stopping tears
// down every tab (their groups are left) and the registry with them. It also starts the
// browser Pageroom follows: Chromium with a profile of its own under the data home and the
// debugging port, since today's Chromium does not open that port on a person's everyday
// profile.
//
//   PageroomService pageroom(app, [&](const QString& tab) {
//       return std::make_unique<QtPageroomDisplay>(app, pageroom.Gate()); });
//   app.Desktop().pageroom = &pageroom;    // the frame calls Run(true) at login, ...
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "shell/core/desktop/pageroom_control.h"
#include "shell/core/desktop/timers.h"
#include "shell/pageroom/browser_monitor.h"
#include "shell/pageroom/send_gate.h"

namespace ov::shell {

class OVShellApp;

class PageroomService final : public PageroomControl {
public:
    // How long a browser may take to answer after Pageroom was switched on before the person
    // is told.
    static constexpr int kAnswerMs = 10000;

    PageroomService(OVShellApp& app, BrowserMonitor::DisplayFactory displays);
    ~PageroomService() override;
    PageroomService(const PageroomService&) = delete;
    PageroomService& operator=(const PageroomService&) = delete;

    void Run(bool on) override;
    void SwitchedOn() override;
    void StartBrowser() override;
    // Follows the port of the machine settings when it changed while running.
    void SettingsChanged() override;

    // When the user last sent to a group, shared by every Pageroom window of this client.
    PageroomSendGate& Gate() { return gate_; }
    // While running: the monitor and the groups; null otherwise.
    BrowserMonitor* Monitor() const { return monitor_.get(); }
    GroupRegistry* Groups() const { return registry_.get(); }

    // The Chromium-family browser on the path, empty when there is none (a test may name
    // another program).
    static QString FindBrowser();
    void SetBrowserProgram(const QString& program) { program_ = program; }
    // The browser's own profile folder under the data home, and how it is started.
    QString BrowserProfile() const;
    static QStringList BrowserArguments(const QString& profile, int port);

private:
    int Port() const;
    QString OwnName() const;
    bool TakeFirstShow();
    void OnAnswerTimer();

    OVShellApp& app_;
    BrowserMonitor::DisplayFactory displays_;
    PageroomSendGate gate_;
    std::unique_ptr<GroupRegistry> registry_;
    std::unique_ptr<BrowserMonitor> monitor_;
    std::unique_ptr<ShellTimer> answerTimer_;
    QString program_;
    int port_ = 0;  // the port followed while running
};

}  // namespace ov::shell
