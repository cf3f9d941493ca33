#include "shell/core/widgets/face_icon.h"

#include <QHash>
#include <QImage>
#include <QPainter>

#include "shell/core/shell_app.h"
#include "shell/skin/skin_manager.h"

namespace ov::shell {

QPixmap FaceIcon(OVShellApp& app, qint32 icon, int size, bool offline) {
    // Keyed by file, size and fading: a list of a thousand buddies reads each file once.
    static QHash<QString, QPixmap> drawn;
    const QString file = app.Faces().FileOf(icon);
    const QString key = QStringLiteral("%1|%2|%3").arg(file).arg(size).arg(offline);
    if (auto it = drawn.constFind(key); it != drawn.constEnd())
        return *it;
    QImage image = OVSkin::PickIconImage(OVSkin::ReadIconImages(file), size, size);
    if (image.isNull()) {
        image = QImage(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    } else if (image.width() != size) {
        image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    if (offline) {
        QImage faded(image.size(), QImage::Format_ARGB32_Premultiplied);
        faded.fill(Qt::transparent);
        QPainter p(&faded);
        p.setOpacity(0.4);
        p.drawImage(0, 0,
                    image.convertToFormat(QImage::Format_Grayscale8)
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied));
        p.setOpacity(1.0);
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.drawImage(0, 0, image);
        p.end();
        image = faded;
    }
    return *drawn.insert(key, QPixmap::fromImage(image));
}

}  // namespace ov::shell
