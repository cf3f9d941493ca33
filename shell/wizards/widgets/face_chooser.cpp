#include "shell/wizards/widgets/face_chooser.h"

#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <string>
#include <vector>

#include "common/config/config_file.h"
#include "shell/core/cp936_text.h"
#include "shell/skin/skin_manager.h"

namespace ov::shell {

void FillFaceChooser(QComboBox* combo, const QString& programDirectory, int iconSize) {
    combo->setIconSize(QSize(iconSize, iconSize));
    const QString faceDirectory = programDirectory + QStringLiteral("face/");
    OVConfigFile catalogue;
    int groups = 0;
    if (catalogue.LoadText((faceDirectory + QStringLiteral("faceconfig.ini")).toStdString()))
        catalogue.GetInt("Group", "GroupNumber", &groups);
    for (int g = 1; g <= groups; ++g) {
        std::string group;
        if (!catalogue.GetString(
                "Group",
                QStringLiteral("GroupName%1").arg(g, 2, 10, QChar(u'0')).toLatin1().constData(),
                &group))
            continue;
        int id = 0, begin = 0, end = -1;
        std::string fileName;
        catalogue.GetInt(group.c_str(), "GroupID", &id);
        catalogue.GetInt(group.c_str(), "Begin", &begin);
        catalogue.GetInt(group.c_str(), "End", &end);
        catalogue.GetString(group.c_str(), "FileName", &fileName);
        for (int i = begin; i <= end; ++i) {
            const QByteArray key =
                QStringLiteral("ItemName%1").arg(i + 1, 2, 10, QChar(u'0')).toLatin1();
            std::string name;
            catalogue.GetString(group.c_str(), key.constData(), &name);
            const QString file = faceDirectory + FromCp936(fileName) +
                                 QStringLiteral("%1.ico").arg(i, 2, 10, QChar(u'0'));
            const std::vector<QImage> images = OVSkin::ReadIconImages(file);
            const QImage image = OVSkin::PickIconImage(images, iconSize, iconSize);
            const QString text = name.empty() ? QString::number(id * 256 + i) : FromCp936(name);
            combo->addItem(QIcon(QPixmap::fromImage(image)), text, id * 256 + i);
        }
    }
    if (combo->count() == 0)
        for (int i = 0; i < 12; ++i)
            combo->addItem(QString::number(i), i);
}

}  // namespace ov::shell
