// The face catalogue "face/faceconfig.ini": groups of face icons, each item a file
// face/<FileName><i, two digits>.ico with the icon number GroupID * 256 + i. The number
// GroupID * 256 names a group's first item; "face/close.ico" stands for a missing face.
//
//   FaceCatalogue faces;
//   faces.Load(programDirectory);                 // false without a readable catalogue
//   QString file = faces.FileOf(0x0103);          // item 3 of group 1, or close.ico
//   for (const FaceGroup& g : faces.Groups()) ... g.items[k].icon, .name, .file ...
#pragma once

#include <QList>
#include <QString>

namespace ov::shell {

struct FaceItem {
    qint32 icon = 0;  // GroupID * 256 + i
    QString name;     // ItemNameNN; the number when the catalogue names none
    QString file;     // absolute path of the .ico
};

struct FaceGroup {
    qint32 id = 0;
    QString name;
    QList<FaceItem> items;
};

class FaceCatalogue {
public:
    // Reads face/faceconfig.ini of the program directory (ending with '/').
    bool Load(const QString& programDirectory);

    const QList<FaceGroup>& Groups() const { return groups_; }
    // The item of an icon number; null when the catalogue has none.
    const FaceItem* Find(qint32 icon) const;
    // The file of an icon number: its item's file, else close.ico.
    QString FileOf(qint32 icon) const;
    QString ClosedFile() const { return closedFile_; }

private:
    QList<FaceGroup> groups_;
    QString closedFile_;
};

}  // namespace ov::shell
