// The face icons of users as pictures: drawn from the face catalogue's .ico files at the size
// asked for, kept once read. An unknown number draws the closed face.
//
//   label->setPixmap(FaceIcon(app, user.nIcon, 32));
//   item->setIcon(0, FaceIcon(app, node.nIcon, 16, /*offline=*/true));
#pragma once

#include <QPixmap>

namespace ov::shell {

class OVShellApp;

// offline draws the face faded, as a user who is not there.
QPixmap FaceIcon(OVShellApp& app, qint32 icon, int size, bool offline = false);

}  // namespace ov::shell
