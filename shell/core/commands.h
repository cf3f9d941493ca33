// The commands that windows, menus and the tray send to the hidden frame, and the ones it
// sends itself to choose the first screen. The numbers are the program's command identifiers.
#pragma once

namespace ov::shell {

enum ShellCommand : int {
    ID_FUNCTION_VISIT_WEBSITE = 32772,  // "访问Orvane网站"
    ID_FUNCTION_CHANGE_PASSWORD = 32773,
    ID_FUNCTION_CHANGE_PASSWORD_CANCELED = 32774,
    ID_FUNCTION_CHANGE_PASSWORD_FINISHED = 32775,
    ID_FUNCTION_CHANGE_USER_INFO = 32776,
    ID_FUNCTION_CHANGE_USER_INFO_FINISHED = 32777,
    ID_FUNCTION_DO_LOGIN = 32778,
    ID_FUNCTION_RELOGIN = 32779,
    ID_FUNCTION_LOGIN_CANCELED = 32780,
    ID_FUNCTION_LOGOUT = 32781,
    ID_FUNCTION_SYSTEM_CONFIG = 32782,
    ID_FUNCTION_REGISTER_CANCELED = 32783,
    ID_FUNCTION_REGISTER_FINISHED = 32784,
    ID_FUNCTION_REGISTER = 32785,
    ID_FUNCTION_SEARCH_USER = 32787,
    ID_FUNCTION_SEARCH_USER_CANCELED = 32788,
    ID_FUNCTION_SEARCH_USER_FINISHED = 32789,
    ID_STATUS_AWAY = 32813,               // "暂时离开"
    ID_STATUS_DND = 32814,                // "请勿打扰"
    ID_STATUS_INVISIBLE = 32815,          // "假装离线"
    ID_STATUS_OFFLINE = 32816,            // "脱机离线"
    ID_STATUS_ONLINE = 32817,             // "正常上线"
    ID_FUNCTION_MESSAGE_MANAGER = 32818,  // "信息管理器"
    ID_FUNCTION_SHOW_ORVANE = 32819,      // "显示Orvane(&N)"
    ID_FUNCTION_OPTION_CANCELED = 32820,
    ID_FUNCTION_OPTION_FINISHED = 32821,
    ID_FUNCTION_ACTIVE_ORVANE = 32832,
    ID_FUNCTION_ABOUT_CLOSED = 32843,
    ID_FUNCTION_SEARCH_USER_BY_STRING = 32848,
    // Starts the browser Pageroom follows (this platform's own entry).
    ID_FUNCTION_PAGEROOM_BROWSER = 32900,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,  // "退出": the frame's close, then the program ends
};

}  // namespace ov::shell
