#include "shell/core/user_settings.h"

#include <algorithm>

#include "common/config/config_file.h"
#include "common/text_escape.h"
#include "shell/core/cp936_text.h"
#include "shell/core/key_file_lines.h"
#include "shell/core/security_level.h"
#include "shell/core/user_config.h"

namespace ov::shell {

namespace {

constexpr int kMinRectSide = 10;
constexpr QSize kMessageWindowSize(400, 320);
// The Starshelf bar and window stand near the screen's right edge, the bar above the window.
constexpr int kStarshelfWidth = 220;
constexpr int kStarshelfMargin = 16;
constexpr int kStarshelfBarTop = 12;
constexpr int kStarshelfBarHeight = 28;
constexpr int kStarshelfWndTop = 48;
constexpr int kStarshelfWndHeight = 520;

constexpr BYTE kGb2312CharSet = 134;

QRect Centred(const QSize& size, const QRect& screen) {
    return QRect(QPoint(screen.x() + (screen.width() - size.width()) / 2,
                        screen.y() + (screen.height() - size.height()) / 2),
                 size);
}

// The value of an entry exactly as stored: the strings of this file are written by the
// program alone, so a value that happens to be quoted keeps its quotes.
bool GetRaw(const OVConfigFile& file, const char* section, const char* key, std::string* value) {
    const int header = file.FindSection(section);
    return header >= 0 && file.FindKey(header + 1, key, value) >= 0;
}

void GetText(const OVConfigFile& file, const char* section, const char* key, QString* value) {
    std::string text;
    if (GetRaw(file, section, key, &text))
        *value = FromCp936(text);
}

void GetRect(OVConfigFile& file, const char* key, const QRect& screen, QRect* value) {
    RECT rect{};
    if (file.GetRect("WindowPos", key, &rect))
        *value = FromRect(rect);
    *value = FitRectToScreen(*value, screen);
}

void GetColor(const OVConfigFile& file, const char* section, const char* key, ColorRef* value) {
    COLORREF color = 0;
    if (file.GetColor(section, key, &color))
        *value = color;
}

void GetFont(OVConfigFile& file, const char* section, const char* key, FontSetting* value) {
    LOGFONT font{};
    if (!file.GetFont(section, key, &font))
        return;
    value->faceName =
        FromCp936(std::string_view(font.lfFaceName, strnlen(font.lfFaceName, LF_FACESIZE)));
    value->height = font.lfHeight;
    value->weight = font.lfWeight;
    value->italic = font.lfItalic != 0;
    value->underline = font.lfUnderline != 0;
    value->charSet = font.lfCharSet;
}

}  // namespace

FontSetting DefaultMessageFont() {
    return FontSetting{QStringLiteral("宋体"), 12, 400, false, false, kGb2312CharSet};
}

FontSetting DefaultPageroomChatFont() {
    return FontSetting{QStringLiteral("FixedSys"), 16, 400, false, false, kGb2312CharSet};
}

QRect FitRectToScreen(const QRect& rect, const QRect& screen) {
    const int width = std::max(std::min(rect.width(), screen.width()), kMinRectSide);
    const int height = std::max(std::min(rect.height(), screen.height()), kMinRectSide);
    // In 64 bits: a rectangle far outside the screen must not overflow on its way in.
    const auto place = [](qint64 start, qint64 size, qint64 screenStart, qint64 screenSize) {
        if (start + size > screenStart + screenSize)
            start = screenStart + screenSize - size;
        return static_cast<int>(std::max(start, screenStart));
    };
    return QRect(place(rect.left(), width, screen.x(), screen.width()),
                 place(rect.top(), height, screen.y(), screen.height()), width, height);
}

void UserSettings::Reset(const QRect& screen) {
    // The online status survives a reset (see the header), and so do the file and its state.
    const int online = nOnlineStatus;
    QString filePath = std::move(filePath_);
    const bool loaded = loaded_;
    *this = UserSettings();
    nOnlineStatus = online;
    filePath_ = std::move(filePath);
    loaded_ = loaded;
    bClickedPageroom = nOnlineStatus;

    const int starshelfLeft = screen.x() + screen.width() - kStarshelfWidth - kStarshelfMargin;
    rectStarshelf = FitRectToScreen(
        QRect(starshelfLeft, screen.y() + kStarshelfBarTop, kStarshelfWidth, kStarshelfBarHeight),
        screen);
    rectStarshelfWnd = FitRectToScreen(
        QRect(starshelfLeft, screen.y() + kStarshelfWndTop, kStarshelfWidth,
              std::min(kStarshelfWndHeight, screen.height() - 2 * kStarshelfWndTop)),
        screen);
    rectSendMsgWnd = FitRectToScreen(Centred(kMessageWindowSize, screen), screen);
    rectRecvMsgWnd = rectSendMsgWnd;
    rectPrivateChatWnd = rectSendMsgWnd;
}

bool UserSettings::Load(const QString& userName, const QString& filePath, const QRect& screen) {
    Reset(screen);
    filePath_ = filePath;
    sUserName = userName;
    loaded_ = false;

    OVConfigFile file;
    if (filePath.isEmpty() || !LoadKeyFile(&file, filePath, true))
        return false;
    QString owner;
    GetText(file, "LoginInfo", "sUserName", &owner);
    if (owner != userName)
        return false;

    file.GetInt("LoginInfo", "nOnlineStatus", &nOnlineStatus);
    bClickedPageroom = nOnlineStatus;
    file.GetInt("LoginInfo", "nSecurityLevel", &nSecurityLevel);
    file.GetBool("LoginInfo", "bEnablePageroom", &bEnablePageroom);
    GetText(file, "LoginInfo", "sPassword", &sPassword);
    file.GetInt("LoginInfo", "nPin", &nPin);
    file.GetBool("LoginInfo", "bLoginFailed", &bLoginFailed);
    file.GetInt("LoginInfo", "bFirstLogin", &bFirstLogin);
    file.GetInt("LoginInfo", "bClickedPageroom", &bClickedPageroom);

    file.GetInt("UserInfo", "bAutoPopUserMsg", &bAutoPopUserMsg);
    file.GetInt("UserInfo", "bAutoPopSystemMsg", &bAutoPopSystemMsg);
    file.GetInt("UserInfo", "bNotifyFrndOnline", &bNotifyFrndOnline);
    file.GetInt("UserInfo", "bLeaveWordOffline", &bLeaveWordOffline);
    file.GetInt("UserInfo", "bNotifySound", &bNotifySound);
    std::string leaveWord;
    if (GetRaw(file, "UserInfo", "sLeaveWordOffline", &leaveWord))
        sLeaveWordOffline = FromCp936(ov::UnescapeText(leaveWord));

    GetRect(file, "rectStarshelf", screen, &rectStarshelf);
    GetRect(file, "rectStarshelfWnd", screen, &rectStarshelfWnd);
    GetRect(file, "rectSendMsgWnd", screen, &rectSendMsgWnd);
    GetRect(file, "rectRecvMsgWnd", screen, &rectRecvMsgWnd);
    GetRect(file, "rectPrivateChatWnd", screen, &rectPrivateChatWnd);
    file.GetInt("WindowPos", "nPageroomBarDockTypeX", &nPageroomBarDockTypeX);
    file.GetInt("WindowPos", "nPageroomBarDockTypeY", &nPageroomBarDockTypeY);
    file.GetInt("WindowPos", "nPageroomBarDockOffsetX", &nPageroomBarDockOffsetX);
    file.GetInt("WindowPos", "nPageroomBarDockOffsetY", &nPageroomBarDockOffsetY);

    file.GetBool("WindowStatus", "bPageroomWndShowing", &bPageroomWndShowing);
    file.GetBool("WindowStatus", "bStarshelfWndShowing", &bStarshelfWndShowing);
    file.GetBool("WindowStatus", "bStarshelfBarShowing", &bStarshelfBarShowing);

    file.GetBool("SendMessageDlg", "bSendMsgShowHistory", &bSendMsgShowHistory);
    file.GetBool("SendMessageDlg", "bSendMsgNoSound", &bSendMsgNoSound);
    GetColor(file, "SendMessageDlg", "clrSendMsgMessageBk", &clrSendMsgMessageBk);
    GetColor(file, "SendMessageDlg", "clrSendMsgMessageColor", &clrSendMsgMessageColor);
    GetFont(file, "SendMessageDlg", "lfSendMsgMessageFont", &lfSendMsgMessageFont);

    file.GetBool("PrivateChatDlg", "bChatNoSound", &bChatNoSound);
    GetColor(file, "PrivateChatDlg", "clrChatMessageBk", &clrChatMessageBk);
    GetColor(file, "PrivateChatDlg", "clrChatMessageColor", &clrChatMessageColor);
    GetFont(file, "PrivateChatDlg", "lfChatMessageFont", &lfChatMessageFont);
    GetFont(file, "PrivateChatDlg", "lfPageroomChatMessageFont", &lfPageroomChatMessageFont);

    file.GetBool("RecvMessageDlg", "bRecvMsgShowHistory", &bRecvMsgShowHistory);
    file.GetBool("PTPFileTransf", "bFileTransfAllowHelp", &bFileTransfAllowHelp);

    loaded_ = true;
    return true;
}

bool UserSettings::Save() {
    if (filePath_.isEmpty())
        return false;
    KeyFileLines lines;
    lines.Section("LoginInfo");
    lines.String("sUserName", sUserName);
    lines.Int("nOnlineStatus", nOnlineStatus);
    lines.Int("nSecurityLevel", nSecurityLevel);
    lines.Bool("bEnablePageroom", bEnablePageroom);
    if (KeepsPassword(nSecurityLevel))
        lines.String("sPassword", sPassword);
    lines.Int("nPin", nPin);
    lines.Bool("bLoginFailed", bLoginFailed);
    lines.Int("bFirstLogin", bFirstLogin);
    lines.Int("bClickedPageroom", bClickedPageroom);

    lines.Section("UserInfo");
    lines.Int("bAutoPopUserMsg", bAutoPopUserMsg);
    lines.Int("bAutoPopSystemMsg", bAutoPopSystemMsg);
    lines.Int("bNotifyFrndOnline", bNotifyFrndOnline);
    lines.Int("bLeaveWordOffline", bLeaveWordOffline);
    lines.Int("bNotifySound", bNotifySound);
    lines.EscapedString("sLeaveWordOffline", sLeaveWordOffline);

    lines.Section("WindowPos");
    lines.Rect("rectStarshelf", rectStarshelf);
    lines.Rect("rectStarshelfWnd", rectStarshelfWnd);
    lines.Rect("rectSendMsgWnd", rectSendMsgWnd);
    lines.Rect("rectRecvMsgWnd", rectRecvMsgWnd);
    lines.Rect("rectPrivateChatWnd", rectPrivateChatWnd);
    lines.Int("nPageroomBarDockTypeX", nPageroomBarDockTypeX);
    lines.Int("nPageroomBarDockTypeY", nPageroomBarDockTypeY);
    lines.Int("nPageroomBarDockOffsetX", nPageroomBarDockOffsetX);
    lines.Int("nPageroomBarDockOffsetY", nPageroomBarDockOffsetY);

    lines.Section("WindowStatus");
    lines.Bool("bPageroomWndShowing", bPageroomWndShowing);
    lines.Bool("bStarshelfWndShowing", bStarshelfWndShowing);
    lines.Bool("bStarshelfBarShowing", bStarshelfBarShowing);

    lines.Section("SendMessageDlg");
    lines.Bool("bSendMsgShowHistory", bSendMsgShowHistory);
    lines.Bool("bSendMsgNoSound", bSendMsgNoSound);
    lines.Color("clrSendMsgMessageBk", clrSendMsgMessageBk);
    lines.Color("clrSendMsgMessageColor", clrSendMsgMessageColor);
    lines.Font("lfSendMsgMessageFont", lfSendMsgMessageFont);

    lines.Section("PrivateChatDlg");
    lines.Bool("bChatNoSound", bChatNoSound);
    lines.Color("clrChatMessageBk", clrChatMessageBk);
    lines.Color("clrChatMessageColor", clrChatMessageColor);
    lines.Font("lfChatMessageFont", lfChatMessageFont);
    lines.Font("lfPageroomChatMessageFont", lfPageroomChatMessageFont);

    lines.Section("RecvMessageDlg");
    lines.Bool("bRecvMsgShowHistory", bRecvMsgShowHistory);

    lines.Section("PTPFileTransf");
    lines.Bool("bFileTransfAllowHelp", bFileTransfAllowHelp);

    if (!lines.Save(filePath_, true))
        return false;
    loaded_ = true;
    return true;
}

}  // namespace ov::shell
