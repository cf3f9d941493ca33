// UserSettings: one user's settings in "userdata/<user name>/setting.dat", a scrambled key
// file (mode 0600). The members carry the names of their keys.
//
//   UserSettings settings;
//   if (settings.Load("alice", dirs.UserFile("alice", kUserSettingsFile), screen)) ...
//   settings.nSecurityLevel = 3;
//   settings.Save();                      // only once a file name is set
//
// Window rectangles are screen coordinates with an exclusive right and bottom edge, stored
// as RECT(left,top,right,bottom); the screen is the desktop's available area, passed in so
// that no screen is needed to load settings. GUI thread only.
#pragma once

#include <QRect>
#include <QString>

namespace ov::shell {

using ColorRef = quint32;  // red | green << 8 | blue << 16

struct FontSetting {
    QString faceName;
    int height = 0;
    int weight = 400;  // 700 and more is bold
    bool italic = false;
    bool underline = false;
    int charSet = 1;  // a font read from a file has the default character set (1)
    friend bool operator==(const FontSetting&, const FontSetting&) = default;
};

// "宋体", height 12, character set 134: the message and chat font.
FontSetting DefaultMessageFont();
// "FixedSys", height 16, character set 134: the Pageroom chat font.
FontSetting DefaultPageroomChatFont();

// Width and height limited to the screen's and at least 10, then moved inside the screen
// where the rectangle sticks out.
QRect FitRectToScreen(const QRect& rect, const QRect& screen);

class UserSettings {
public:
    UserSettings() = default;

    // Every member back to its default, the rectangles derived from the screen. The online
    // status is kept: a file without it keeps the value last loaded.
    void Reset(const QRect& screen);

    // Resets, remembers the user and the file, then reads it. Not loaded (false) when there
    // is no file name, the file cannot be read or belongs to another user (sUserName); the
    // file name and user stay set, so that Save creates the file for this user.
    bool Load(const QString& userName, const QString& filePath, const QRect& screen);
    // Rebuilds every line from the members and writes the file scrambled; nothing without a
    // file name. sPassword is written for levels 2 to 4 only. Once written, the settings are
    // the file's and count as loaded (a user's first login creates them so).
    bool Save();

    const QString& FilePath() const { return filePath_; }
    bool Loaded() const { return loaded_; }

    // [LoginInfo]
    QString sUserName;
    int nOnlineStatus = 0;
    int nSecurityLevel = 2;
    bool bEnablePageroom = true;
    QString sPassword;
    int nPin = 0;
    bool bLoginFailed = false;
    int bFirstLogin = 1;
    int bClickedPageroom = 0;  // defaults to nOnlineStatus
    // [UserInfo]
    int bAutoPopUserMsg = 0;
    int bAutoPopSystemMsg = 0;
    int bNotifyFrndOnline = 1;
    int bLeaveWordOffline = 0;
    int bNotifySound = 1;
    QString sLeaveWordOffline;  // plain here; escaped in the file
    // [WindowPos]
    QRect rectStarshelf;
    QRect rectStarshelfWnd;
    QRect rectSendMsgWnd;
    QRect rectRecvMsgWnd;
    QRect rectPrivateChatWnd;
    int nPageroomBarDockTypeX = 3;
    int nPageroomBarDockTypeY = 1;
    int nPageroomBarDockOffsetX = 40;
    int nPageroomBarDockOffsetY = 0;
    // [WindowStatus]
    bool bPageroomWndShowing = false;
    bool bStarshelfWndShowing = false;
    bool bStarshelfBarShowing = true;
    // [SendMessageDlg]
    bool bSendMsgShowHistory = false;
    bool bSendMsgNoSound = false;
    ColorRef clrSendMsgMessageBk = 0xFFFFFF;
    ColorRef clrSendMsgMessageColor = 0;
    FontSetting lfSendMsgMessageFont = DefaultMessageFont();
    // [PrivateChatDlg]
    bool bChatNoSound = false;
    ColorRef clrChatMessageBk = 0xFFFFFF;
    ColorRef clrChatMessageColor = 0;
    FontSetting lfChatMessageFont = DefaultMessageFont();
    FontSetting lfPageroomChatMessageFont = DefaultPageroomChatFont();
    // [RecvMessageDlg]
    bool bRecvMsgShowHistory = false;
    // [PTPFileTransf]
    bool bFileTransfAllowHelp = true;

private:
    QString filePath_;
    bool loaded_ = false;
};

}  // namespace ov::shell
