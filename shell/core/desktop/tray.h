// The notification-area icon: a status icon (a key of the skin's Icons.Tray section, or the
// program's own icon), a tip, an animation of icon frames, and the menu asked for by clicks.
// The program implements it with QSystemTrayIcon (or a small status window where no tray
// exists); tests record it.
#pragma once

#include <QString>
#include <functional>

namespace ov::shell {

// The tray menus, by login state.
enum class TrayMenu { OnlineStatus, NotLoggedIn, LoggedInLocally, LoggedInToServer };

// The animations of the skin's Icons.Tray section, by the kind in their key names
// (s<Kind>Name, n<Kind>Count, n<Kind>Speed): "Login", "UserMessage", "SysMessage",
// "ChatRequest", "BuddyValidat", "FileTrans".
using TrayAnimation = QString;

class Tray {
public:
    // What the user did with the icon. A double click comes after the release of its first
    // click; telling a single click apart (a delay) is the logic's business.
    struct Gestures {
        std::function<void()> leftRelease;
        std::function<void()> doubleClick;
        std::function<void()> rightRelease;
    };

    virtual ~Tray() = default;
    virtual void SetGestures(Gestures gestures) = 0;
    // key: a key of Icons.Tray; empty for the program's own icon.
    virtual void SetIcon(const QString& key) = 0;
    virtual void SetTip(const QString& tip) = 0;
    // Runs the animation of that kind until StopAnimation or another Animate.
    virtual void Animate(const TrayAnimation& kind) = 0;
    virtual void StopAnimation() = 0;
    virtual void ShowMenu(TrayMenu menu) = 0;
    virtual void Remove() = 0;
};

}  // namespace ov::shell
