// The tray with Qt: QSystemTrayIcon with the skin's status icons, animations and tips, or the
// status window where the desktop has no notification area. Menus come from the program's
// menu factory and open at the cursor (tray) or under the status window's buttons.
#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "shell/core/desktop/tray.h"

class OVSkin;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace ov::shell {

class StatusWindow;

class QtTray final : public QObject, public Tray {
public:
    using MenuFactory = std::function<QMenu*(TrayMenu, QWidget* parent)>;

    // programIcon: the program's own icon (nobody logged in). statusWindow: use the status
    // window even where a tray exists.
    QtTray(OVSkin& skin, const QIcon& programIcon, bool statusWindow);
    ~QtTray() override;

    void SetMenuFactory(MenuFactory factory) { menus_ = std::move(factory); }
    // Told of every status icon (a key of Icons.Tray, empty for the program's icon).
    void SetIconObserver(std::function<void(const QString&)> observer) {
        iconObserver_ = std::move(observer);
    }
    StatusWindow* Window() const { return window_.get(); }

    void SetGestures(Gestures gestures) override { gestures_ = std::move(gestures); }
    void SetIcon(const QString& key) override;
    void SetTip(const QString& tip) override;
    void Animate(const TrayAnimation& kind) override;
    void StopAnimation() override;
    void ShowMenu(TrayMenu menu) override;
    void Remove() override;

private:
    void Show(const QIcon& icon);
    static void Call(const std::function<void()>& f) {
        if (f)
            f();
    }

    OVSkin& skin_;
    QIcon programIcon_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<StatusWindow> window_;
    Gestures gestures_;
    MenuFactory menus_;
    std::function<void(const QString&)> iconObserver_;
    QIcon statusIcon_;  // shown whenever no animation runs
    QTimer animation_;
    std::vector<QIcon> frames_;
    size_t frame_ = 0;
    bool removed_ = false;
};

}  // namespace ov::shell
