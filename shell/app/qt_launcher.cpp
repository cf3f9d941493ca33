#include "shell/app/qt_launcher.h"

#include <QDesktopServices>
#include <QUrl>

namespace ov::shell {

void QtLauncher::OpenUrl(const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
}

void QtLauncher::OpenFile(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void QtLauncher::OpenFolder(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace ov::shell
