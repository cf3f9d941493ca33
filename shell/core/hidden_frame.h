// CHiddenFrame: the client's switchboard. It receives the commands of windows, menus and the
// tray, receives every kernel event the program itself handles, and runs the login state
// machine: choosing a gateway, handshaking, logging in, working locally, reconnecting after a
// loss, going offline and logging out. It also keeps the tray's icon, tip and animation and
// plays the program's sounds. It is logic only: windows are asked for through ShellWindows.
//
// States: not logged in; logging in (perhaps logged in locally too); logged in locally;
// logged in to the server (perhaps locally too). Everything runs on the GUI thread; kernel
// events arrive there through the apartment.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "common/events/event_sink.h"
#include "shell/core/desktop/timers.h"
#include "shell/core/desktop/tray.h"

namespace ov::shell {

class OVShellApp;
struct PendingItem;
struct MessageRecord;

// The product's home page, opened at a user's first login and by "访问Orvane网站".
inline constexpr char kHomePage[] = "https://orvane.example/";

// The sounds of the program, by the id of the sound table.
enum SoundId : int {
    kSoundLogin = 1,
    kSoundLogout = 2,
    kSoundBuddyDeny = 4,
    kSoundBuddyAccept = 5,
    kSoundBuddyRequest = 6,
    kSoundBuddyOnline = 7,
    kSoundBuddyOffline = 8,
    kSoundUserMessage = 20,
    kSoundSystemMessage = 21,
    kSoundFile = 23,
};

class CHiddenFrame final : public QObject, public OVServiceEventHandler {
public:
    // The frame's creation: advises the kernel, follows the
    // pending items, starts timer 31 and the tray icon.
    explicit CHiddenFrame(OVShellApp& app);
    ~CHiddenFrame() override;

    // A command (WM_COMMAND): now, or from the event loop (posted).
    void Command(int id);
    void PostCommand(int id);

    // The frame's close: unadvise, log out, close the windows, remove the tray icon.
    void Close();

    // How the tray announces a pending item: its animation and its tip.
    struct Announcement {
        TrayAnimation animation;
        QString tip;
    };
    Announcement Announce(const PendingItem& item) const;

    bool LoggedInToServer() const { return loggedInServer_; }
    bool LoggedInLocally() const { return loggedInLocal_; }
    bool LoggingIn() const { return loginInProgress_; }
    const QString& CurrentUser() const { return currentUser_; }
    qint32 OwnPin() const { return ownPin_; }
    void ForgetOwnPin() { ownPin_ = 0; }

    // Plays a sound of the table, for a loaded user who wants sounds.
    void PlaySound(int id);

private:
    // Kernel events (the frame's sink).
    void OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;
    void OnHandshakeServerReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG ServerCount,
                                std::string_view varServersInfo) override;
    void OnLoginReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nTerminalID, LONG nPin,
                      LONG nRealIP) override;
    void OnConnectionLost() override;
    void OnRequestUserInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                std::string_view varUserInfo) override;
    void OnRequestBuddyTreeReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nCount,
                                 std::string_view varBuddiesInfo) override;
    void OnRequestBuddyTreeReply2(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nTotalCount,
                                  OVListFlagEnum eListFlag, LONG nCount,
                                  std::string_view varBuddiesInfo) override;
    void OnRequestBlackListReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nCount,
                                 std::string_view varUsersInfo) override;
    void OnRequestBlackListReply2(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nTotalCount,
                                  OVListFlagEnum eListFlag, LONG nCount,
                                  std::string_view varUsersInfo) override;
    void OnAddUserToBuddyTreeReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nPin) override;
    void OnBuddyStatusChanged(LONG nPin, LONG nNewStatus) override;
    void OnUserMessageReceived(LONG nFromPin, LONG nToPin, LONG nComponentID, LONG nComponentCode,
                               std::string_view varMessage, LONG nSentTime) override;
    void OnUserSystemMessageReceived(LONG nToPin, LONG nComponentID, LONG nComponentCode,
                                     std::string_view varMessage, LONG nSentTime) override;
    void OnAddBuddyRequest(std::string_view varRequestMessage,
                           std::string_view varUserInfo) override;
    void OnAddBuddyAccept(OVBuddyAcceptEnum eBuddyAccept, std::string_view varUserInfo) override;
    void OnAddBuddyNotice(std::string_view varUserInfo) override;
    void OnPTPConnectionRequest(LONG nFromPin, std::string_view varUserName,
                                std::string_view varNickName, LONG nComponentID,
                                LONG nComponentCode, LONG nFromIP, LONG nFromPort,
                                std::string_view varRequestMessage) override;

    // The login flow (frame_login.cpp).
    void DoLogin();
    bool TryLocalLogin();
    void Logout();
    void GoOffline();
    void ChangeStatus(int status);
    void ChooseScreenAsAtStart(int status);
    void OnGatewayTimer();
    void RetryNextGateway(int networkType);
    void HandleLoginReply(LONG seq, OVErrorCodeEnum error, LONG terminal, LONG pin);
    void LoginSucceeded(LONG terminal, LONG pin);
    void ApplyProxy();
    void PlaceStarshelf();
    void SaveStarshelfState();
    void SendLeaveWord(LONG toPin);
    // Received messages and chat requests into the pending items (and the desktop's notes).
    void QueueMessage(const MessageRecord& record, bool popUp);
    void ChatRequestReceived(LONG fromPin, LONG code, std::string_view text);

    // The tray and the title (frame_tray.cpp).
    void ShowNotLoggedIn();
    void ShowLocal();
    void ShowOffline();
    void ShowLoggingIn();
    void ShowStatus(int status);
    void ShowTitleAndTip(const QString& text, const QString& icon);
    void OnPendingChanged();
    void ResetNotification();
    void OnTrayLeftRelease();
    void OnTrayClickTimer();
    void OnTrayDoubleClick();
    void OnTrayRightRelease();

    // The buddy tree asked for at login has arrived (or will not): the wait ends.
    void TreeDownloaded();
    void RefreshBuddyTree();
    void BrowserMonitor(bool run);
    // Checks a component call; a failure is written to the log and ends the handler.
    bool Ok(HRESULT hr, const char* call, int line);

    OVShellApp& app_;
    OVServiceEventConnection events_{this};
    std::unique_ptr<ShellTimer> trayClickTimer_;  // timer 30: a click that is not a double one
    std::unique_ptr<ShellTimer> secondTimer_;     // timer 31: every second
    std::unique_ptr<ShellTimer> gatewayTimer_;    // timer 32: the next gateway

    LONG pendingLogin_ = 0;
    LONG pendingHandshake_ = 0;
    LONG pendingOwnInfo_ = 0;
    LONG pendingBuddyTree_ = 0;
    bool loginInProgress_ = false;
    bool loggedInServer_ = false;
    bool loggedInLocal_ = false;
    int lastNetworkType_ = -1;
    int gatewayCounters_[2] = {0, 0};
    QString currentUser_;
    qint32 ownPin_ = 0;
    int status_ = 0;  // the status shown while logged in to the server

    // The tray: the tip under a notification animation, kept to be put back.
    QString statusTip_;
    QString statusIcon_;
    bool notifying_ = false;
};

}  // namespace ov::shell
