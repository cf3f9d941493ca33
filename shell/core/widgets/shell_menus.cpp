#include "shell/core/widgets/shell_menus.h"

#include <QActionGroup>

#include "shell/core/commands.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/login_dialog_model.h"
#include "shell/core/shell_app.h"
#include "shell/skin/skin_manager.h"
#include "shell/skin/widgets/skin_menu.h"

namespace ov::shell {

namespace {

struct StatusEntry {
    const char* text;
    int command;
    const char* icon;  // key of the skin's Icons.Menu section
};

// In the login dialog's order, so that an entry's index is the status list's index.
constexpr StatusEntry kStatusEntries[] = {
    {"正常上线", ID_STATUS_ONLINE, "sStatusOnline"},
    {"暂时离开", ID_STATUS_AWAY, "sStatusAway"},
    {"请勿打扰", ID_STATUS_DND, "sStatusDND"},
    {"假装离线", ID_STATUS_INVISIBLE, "sStatusInvis"},
};
constexpr StatusEntry kOfflineEntry = {"脱机离线", ID_STATUS_OFFLINE, "sStatusOffline"};

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Commands that open a window of their own; the others act at once.
bool OpensWindow(int command) {
    switch (command) {
        case ID_FUNCTION_RELOGIN:
        case ID_FUNCTION_REGISTER:
        case ID_FUNCTION_SEARCH_USER:
        case ID_FUNCTION_CHANGE_PASSWORD:
        case ID_FUNCTION_CHANGE_USER_INFO:
        case ID_FUNCTION_SYSTEM_CONFIG:
        case ID_FUNCTION_MESSAGE_MANAGER:
        case ID_APP_ABOUT:
            return true;
        default:
            return false;
    }
}

QAction* AddCommand(QMenu* menu, OVShellApp& app, const QString& text, int command,
                    const QIcon& icon = QIcon()) {
    QAction* action = menu->addAction(icon, text);
    action->setData(command);
    QObject::connect(action, &QAction::triggered, menu, [&app, command] {
        if (CHiddenFrame* frame = app.Frame())
            frame->PostCommand(command);
    });
    return action;
}

// Greys out what cannot be done now and marks the current status; entries of sub-menus are
// refreshed by their own menus.
void Refresh(QMenu* menu, OVShellApp& app) {
    const CHiddenFrame* frame = app.Frame();
    const bool server = frame && frame->LoggedInToServer();
    const int current = LoginDialogModel::IndexOfStatus(app.Login().onlineStatus);
    for (QAction* action : menu->actions()) {
        bool ok = false;
        const int command = action->data().toInt(&ok);
        if (!ok)
            continue;
        action->setEnabled(CommandAvailable(app, command));
        if (action->isCheckable())
            action->setChecked(server && kStatusEntries[current].command == command);
    }
}

OVSkinMenu* NewMenu(OVShellApp& app, const QString& name, QWidget* parent) {
    auto* menu = new OVSkinMenu(app.Desktop().skin, parent);
    menu->setAccessibleName(name);
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, &app] { Refresh(menu, app); });
    return menu;
}

void FillStatusMenu(OVSkinMenu* menu, OVShellApp& app) {
    const OVSkin* skin = app.Desktop().skin;
    auto icon = [skin](const char* key) {
        return skin ? skin->LoadIcon("Icons.Menu", key) : QIcon();
    };
    auto* group = new QActionGroup(menu);
    for (const StatusEntry& e : kStatusEntries) {
        QAction* action = AddCommand(menu, app, Text(e.text), e.command, icon(e.icon));
        action->setCheckable(true);
        group->addAction(action);
    }
    menu->addSeparator();
    AddCommand(menu, app, Text(kOfflineEntry.text), kOfflineEntry.command,
               icon(kOfflineEntry.icon));
}

void AddStatusSubmenu(OVSkinMenu* menu, OVShellApp& app) {
    OVSkinMenu* status = menu->AddSkinMenu(Text("我的状态"));
    status->setAccessibleName(status->title());
    QObject::connect(status, &QMenu::aboutToShow, status, [status, &app] { Refresh(status, app); });
    FillStatusMenu(status, app);
}

// The entries every tray menu ends with.
void AddProgramEntries(OVSkinMenu* menu, OVShellApp& app) {
    AddCommand(menu, app, Text("访问Orvane网站"), ID_FUNCTION_VISIT_WEBSITE);
    AddCommand(menu, app, Text("关于Orvane"), ID_APP_ABOUT);
    menu->addSeparator();
    AddCommand(menu, app, Text("退出"), ID_APP_EXIT);
}

}  // namespace

bool CommandAvailable(OVShellApp& app, int command) {
    const ShellWindows* windows = app.Desktop().windows;
    if (OpensWindow(command) && windows && !windows->CanOpen(command))
        return false;
    const CHiddenFrame* frame = app.Frame();
    const bool server = frame && frame->LoggedInToServer();
    const bool user = server || (frame && frame->LoggedInLocally());
    const bool loggingIn = frame && frame->LoggingIn();
    switch (command) {
        case ID_FUNCTION_RELOGIN:
            return !server;
        case ID_FUNCTION_LOGOUT:
            // Also stops a login that keeps retrying the gateways.
            return user || loggingIn;
        case ID_FUNCTION_SEARCH_USER:
        case ID_FUNCTION_CHANGE_PASSWORD:
        case ID_FUNCTION_CHANGE_USER_INFO:
            return server;
        case ID_FUNCTION_SYSTEM_CONFIG:
        case ID_FUNCTION_MESSAGE_MANAGER:
            return user;
        case ID_STATUS_OFFLINE:
            return server || loggingIn;
        default:
            return true;
    }
}

QMenu* CreateStatusMenu(OVShellApp& app, QWidget* parent) {
    OVSkinMenu* menu = NewMenu(app, Text("我的状态"), parent);
    FillStatusMenu(menu, app);
    return menu;
}

QMenu* CreateTrayMenu(OVShellApp& app, TrayMenu which, QWidget* parent) {
    if (which == TrayMenu::OnlineStatus)
        return CreateStatusMenu(app, parent);
    OVSkinMenu* menu = NewMenu(app, Text("Orvane"), parent);
    if (which == TrayMenu::NotLoggedIn) {
        AddCommand(menu, app, Text("登录Orvane"), ID_FUNCTION_RELOGIN);
        AddCommand(menu, app, Text("注册向导"), ID_FUNCTION_REGISTER);
        menu->addSeparator();
        AddProgramEntries(menu, app);
        return menu;
    }
    QAction* show = AddCommand(menu, app, Text("显示Orvane(&N)"), ID_FUNCTION_SHOW_ORVANE);
    menu->setDefaultAction(show);
    menu->addSeparator();
    AddStatusSubmenu(menu, app);
    AddCommand(menu, app, Text("信息管理器"), ID_FUNCTION_MESSAGE_MANAGER);
    if (which == TrayMenu::LoggedInToServer) {
        AddCommand(menu, app, Text("查找用户"), ID_FUNCTION_SEARCH_USER);
        AddCommand(menu, app, Text("系统设置(&O)"), ID_FUNCTION_SYSTEM_CONFIG);
    }
    menu->addSeparator();
    AddCommand(menu, app, Text("注销"), ID_FUNCTION_LOGOUT);
    menu->addSeparator();
    AddProgramEntries(menu, app);
    return menu;
}

QMenu* CreateMainMenu(OVShellApp& app, QWidget* parent) {
    OVSkinMenu* menu = NewMenu(app, Text("主菜单"), parent);
    AddCommand(menu, app, Text("登录Orvane"), ID_FUNCTION_RELOGIN);
    AddCommand(menu, app, Text("注销"), ID_FUNCTION_LOGOUT);
    AddCommand(menu, app, Text("注册向导"), ID_FUNCTION_REGISTER);
    menu->addSeparator();
    AddStatusSubmenu(menu, app);
    AddCommand(menu, app, Text("查找用户"), ID_FUNCTION_SEARCH_USER);
    AddCommand(menu, app, Text("信息管理器"), ID_FUNCTION_MESSAGE_MANAGER);
    menu->addSeparator();
    AddCommand(menu, app, Text("修改密码"), ID_FUNCTION_CHANGE_PASSWORD);
    AddCommand(menu, app, Text("修改个人信息"), ID_FUNCTION_CHANGE_USER_INFO);
    AddCommand(menu, app, Text("系统设置(&O)"), ID_FUNCTION_SYSTEM_CONFIG);
    AddCommand(menu, app, Text("启动Pageroom浏览器"), ID_FUNCTION_PAGEROOM_BROWSER);
    menu->addSeparator();
    AddCommand(menu, app, Text("显示Orvane(&N)"), ID_FUNCTION_SHOW_ORVANE);
    AddCommand(menu, app, Text("访问Orvane网站"), ID_FUNCTION_VISIT_WEBSITE);
    AddCommand(menu, app, Text("关于Orvane"), ID_APP_ABOUT);
    menu->addSeparator();
    AddCommand(menu, app, Text("退出"), ID_APP_EXIT);
    return menu;
}

}  // namespace ov::shell
