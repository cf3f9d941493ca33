// Pictures of windows from tests: with ORVANE_WIZARD_SHOTS naming a folder, a window is saved
// there as "<name>.png" (on the offscreen platform, as drawn); without it nothing happens.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace ov::shell::testing {

inline void SaveShot(QWidget* window, const QString& name) {
    const QString folder = qEnvironmentVariable("ORVANE_WIZARD_SHOTS");
    if (folder.isEmpty() || window == nullptr)
        return;
    QDir().mkpath(folder);
    QCoreApplication::processEvents();
    window->grab().save(folder + "/" + name + ".png");
}

}  // namespace ov::shell::testing
