#include "shell/core/face_catalogue.h"

#include <string>

#include "common/config/config_file.h"
#include "shell/core/cp936_text.h"

namespace ov::shell {

namespace {

QByteArray Numbered(const char* key, int n) {
    return QStringLiteral("%1%2").arg(QLatin1String(key)).arg(n, 2, 10, QChar(u'0')).toLatin1();
}

// Groups with more items than an icon number can address are cut there.
constexpr int kItemsPerGroup = 256;

}  // namespace

bool FaceCatalogue::Load(const QString& programDirectory) {
    groups_.clear();
    const QString directory = programDirectory + QStringLiteral("face/");
    closedFile_ = directory + QStringLiteral("close.ico");
    OVConfigFile catalogue;
    if (!catalogue.LoadText((directory + QStringLiteral("faceconfig.ini")).toStdString()))
        return false;
    int count = 0;
    catalogue.GetInt("Group", "GroupNumber", &count);
    for (int g = 1; g <= count && g <= 1000; ++g) {
        std::string section;
        if (!catalogue.GetString("Group", Numbered("GroupName", g).constData(), &section))
            continue;
        FaceGroup group;
        group.name = FromCp936(section);
        int begin = 0, end = -1;
        std::string base;
        catalogue.GetInt(section.c_str(), "GroupID", &group.id);
        catalogue.GetInt(section.c_str(), "Begin", &begin);
        catalogue.GetInt(section.c_str(), "End", &end);
        catalogue.GetString(section.c_str(), "FileName", &base);
        begin = std::max(begin, 0);
        end = std::min(end, kItemsPerGroup - 1);
        for (int i = begin; i <= end; ++i) {
            FaceItem item;
            item.icon = group.id * kItemsPerGroup + i;
            std::string name;
            catalogue.GetString(section.c_str(), Numbered("ItemName", i + 1).constData(), &name);
            item.name = name.empty() ? QString::number(item.icon) : FromCp936(name);
            item.file =
                directory + FromCp936(base) + QStringLiteral("%1.ico").arg(i, 2, 10, QChar(u'0'));
            group.items.push_back(item);
        }
        groups_.push_back(group);
    }
    return true;
}

const FaceItem* FaceCatalogue::Find(qint32 icon) const {
    const qint32 id = icon / kItemsPerGroup;
    for (const FaceGroup& g : groups_)
        if (g.id == id)
            for (const FaceItem& item : g.items)
                if (item.icon == icon)
                    return &item;
    return nullptr;
}

QString FaceCatalogue::FileOf(qint32 icon) const {
    const FaceItem* item = Find(icon);
    return item ? item->file : closedFile_;
}

}  // namespace ov::shell
