// The program's pop-up menus: the online-status menu, the tray menus of each login state and
// the main window's menu. Each entry posts its command to the hidden frame; what an entry
// can do right now (its window exists, the login state allows it) is worked out each time
// the menu is about to show, since the state changes while a menu lives.
//
//   QMenu* menu = CreateTrayMenu(app, TrayMenu::NotLoggedIn, nullptr);
//   menu->exec(QCursor::pos());
//   delete menu;
#pragma once

#include <QMenu>

#include "shell/core/desktop/tray.h"

namespace ov::shell {

class OVShellApp;

// Menus are drawn with the application's skin when it has one. The caller owns each menu
// (through parent, or by deleting it).
QMenu* CreateStatusMenu(OVShellApp& app, QWidget* parent);
// OnlineStatus gives the status menu.
QMenu* CreateTrayMenu(OVShellApp& app, TrayMenu which, QWidget* parent);
QMenu* CreateMainMenu(OVShellApp& app, QWidget* parent);

// Whether a command makes sense now: its window exists and the login state allows it.
bool CommandAvailable(OVShellApp& app, int command);

}  // namespace ov::shell
