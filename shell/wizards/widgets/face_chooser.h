// The face icons of the face catalogue face/faceconfig.ini as the items of a combo box: each
// item shows the icon and its name and carries its icon number.
//
//   FillFaceChooser(combo, app.ProgramDirectory(), 24);
//   quint32 icon = combo->currentData().toUInt();
#pragma once

#include <QString>

class QComboBox;

namespace ov::shell {

// Item i of a catalogue group is face/<FileName><i, two digits>.ico with the icon number
// GroupID * 256 + i. Without a catalogue the numbers 0 to 11 stand alone.
void FillFaceChooser(QComboBox* combo, const QString& programDirectory, int iconSize);

}  // namespace ov::shell
