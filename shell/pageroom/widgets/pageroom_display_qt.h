// QtPageroomDisplay: what a browser tab's Pageroom watcher draws, on the screen - the logo
// with its counts and animation, and the Pageroom window with the lists, chats and caption.
// Both appear only while the tab is the one its browser window shows and the watcher wants
// them (the window also once the logo was clicked); a pinned window stays up when the tab
// goes to the background. Both follow the browser window's bounds.
//
//   PageroomSendGate gate(app.Desktop().clock);      // one per login session
//   QtPageroomDisplay display(app, gate);
//   TabWatcher tab(registry, display, ownName, clock, takeFirstShow);
//   display.SetBrowserBounds(bounds);  display.SetActive(true);
#pragma once

#include <memory>

#include "shell/pageroom/pageroom_display.h"
#include "shell/pageroom/pageroom_window_model.h"

namespace ov::shell {

class OVShellApp;
class PageroomLogo;
class PageroomWindow;

class QtPageroomDisplay final : public PageroomDisplay {
public:
    // sender: as PageroomWindowModel's (tests); by default the group's messenger messages.
    QtPageroomDisplay(OVShellApp& app, PageroomSendGate& gate,
                      PageroomWindowModel::Sender sender = {});
    ~QtPageroomDisplay() override;
    QtPageroomDisplay(const QtPageroomDisplay&) = delete;
    QtPageroomDisplay& operator=(const QtPageroomDisplay&) = delete;

    PageroomLogo& Logo() const { return *logo_; }
    PageroomWindow& Window() const { return *window_; }

    void AddLine(int view, const ChatLine& line) override;
    void SetLineKind(int view, qint64 key, ChatLineKind kind) override;
    void SetUsers(int view, const QList<PageroomUser>& users) override;
    void AddUser(int view, const PageroomUser& user) override;
    void RemoveUser(int view, qint32 pin) override;
    void UpdateUser(int view, const PageroomUser& user) override;
    int WindowMode() const override;
    void SetCaption(const QString& caption) override;
    void LogoAnimate(bool on) override;
    void LogoFlash() override;
    void LogoCount(int view, int count) override;
    void ShowLogo(bool shown) override;
    void ShowWindow(bool shown) override;
    void SetViewGroup(int view, OVGroupInfo* group) override;
    void SetBrowserBounds(const QRect& bounds) override;
    void SetActive(bool active) override;

private:
    void LogoClicked();
    void Update();

    std::unique_ptr<PageroomLogo> logo_;
    std::unique_ptr<PageroomWindow> window_;
    QRect bounds_;
    bool active_ = false;
    bool logoWanted_ = false;
    bool windowWanted_ = false;
};

}  // namespace ov::shell
