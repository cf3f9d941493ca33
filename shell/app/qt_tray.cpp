#include "shell/app/qt_tray.h"

#include <QCursor>
#include <QFileInfo>
#include <QMenu>
#include <QSystemTrayIcon>

#include "shell/app/status_window.h"
#include "shell/skin/skin_manager.h"

namespace ov::shell {

QtTray::QtTray(OVSkin& skin, const QIcon& programIcon, bool statusWindow)
    : skin_(skin), programIcon_(programIcon), statusIcon_(programIcon_) {
    if (!statusWindow && QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = std::make_unique<QSystemTrayIcon>(programIcon_);
        QObject::connect(tray_.get(), &QSystemTrayIcon::activated, this,
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             switch (reason) {
                                 case QSystemTrayIcon::Trigger:
                                     Call(gestures_.leftRelease);
                                     break;
                                 case QSystemTrayIcon::DoubleClick:
                                     Call(gestures_.doubleClick);
                                     break;
                                 case QSystemTrayIcon::Context:
                                     Call(gestures_.rightRelease);
                                     break;
                                 default:
                                     break;
                             }
                         });
        tray_->show();
    } else {
        window_ = std::make_unique<StatusWindow>();
        QObject::connect(window_.get(), &StatusWindow::StatusMenuRequested, this,
                         [this] { Call(gestures_.leftRelease); });
        QObject::connect(window_.get(), &StatusWindow::MenuRequested, this,
                         [this] { Call(gestures_.rightRelease); });
        QObject::connect(window_.get(), &StatusWindow::OpenNextRequested, this,
                         [this] { Call(gestures_.doubleClick); });
        window_->SetIcon(programIcon_);
        window_->show();
    }
    QObject::connect(&animation_, &QTimer::timeout, this, [this] {
        if (frames_.empty())
            return;
        frame_ = (frame_ + 1) % frames_.size();
        Show(frames_[frame_]);
    });
}

QtTray::~QtTray() {
    animation_.stop();
}

void QtTray::Show(const QIcon& icon) {
    if (tray_)
        tray_->setIcon(icon);
    if (window_)
        window_->SetIcon(icon);
}

void QtTray::SetIcon(const QString& key) {
    statusIcon_ =
        key.isEmpty() ? programIcon_ : skin_.LoadIcon("Icons.Tray", key.toLatin1().constData());
    if (statusIcon_.isNull())
        statusIcon_ = programIcon_;
    if (!animation_.isActive())
        Show(statusIcon_);
    if (iconObserver_)
        iconObserver_(key);
}

void QtTray::SetTip(const QString& tip) {
    if (tray_)
        tray_->setToolTip(tip);
    if (window_)
        window_->SetTip(tip);
}

void QtTray::Animate(const TrayAnimation& kind) {
    // s<Kind>Name, n<Kind>Count, n<Kind>Speed; frame i is "<name><i>.ico".
    const OVConfigFile& config = skin_.Config();
    const QByteArray k = kind.toLatin1();
    std::string name;
    int count = 0, speed = 0;
    config.GetString("Icons.Tray", ("s" + k + "Name").constData(), &name);
    config.GetInt("Icons.Tray", ("n" + k + "Count").constData(), &count);
    config.GetInt("Icons.Tray", ("n" + k + "Speed").constData(), &speed);
    frames_.clear();
    const QString base =
        QString::fromStdString(skin_.SkinDirectory()) + QString::fromStdString(name);
    for (int i = 0; i < count && i < 64; ++i) {
        const QString file = base + QString::number(i) + QStringLiteral(".ico");
        if (QFileInfo::exists(file))
            frames_.emplace_back(file);
    }
    if (frames_.empty()) {
        StopAnimation();
        return;
    }
    frame_ = 0;
    Show(frames_[0]);
    animation_.start(speed > 0 ? speed : 300);
}

void QtTray::StopAnimation() {
    animation_.stop();
    frames_.clear();
    Show(statusIcon_);
}

void QtTray::ShowMenu(TrayMenu which) {
    if (!menus_ || removed_)
        return;
    QMenu* menu = menus_(which, window_.get());
    if (!menu)
        return;
    // Gone once it closes; its entry's command has been posted by then.
    QObject::connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    menu->popup(window_ ? window_->MenuPosition() : QCursor::pos());
}

void QtTray::Remove() {
    removed_ = true;
    animation_.stop();
    if (tray_)
        tray_->hide();
    if (window_)
        window_->hide();
}

}  // namespace ov::shell
