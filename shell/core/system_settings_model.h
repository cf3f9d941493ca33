// SystemSettingsModel: the values the system settings dialog edits, copied from the machine
// settings and, when a user is loaded, from that user's settings; OK checks them, stores
// and saves both files, applies the autostart entry and tells the frame.
//
//   SystemSettingsModel model(app);
//   model.SetNetworkType(1);               // the server list shown is now the first one
//   model.AddServer("10.0.0.1", 8000);
//   if (model.Ok()) ...                    // stored; false: a message was shown
//
// Each network keeps its own server list while the dialog is open. GUI thread only.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "shell/core/machine_settings.h"

namespace ov::shell {

class OVShellApp;

class SystemSettingsModel {
public:
    explicit SystemSettingsModel(OVShellApp& app);

    // The user's values (the first page but autostart) can be edited only then.
    bool UserLoaded() const;

    // The shown network's list as the list box shows it: "host:port", top first.
    QStringList ServerLines() const;
    const QList<GatewayInfo>& Servers() const;
    // 1 or 2; any other value keeps the current one.
    void SetNetworkType(int type);
    int NetworkType() const { return networkType_; }

    // Each false when the row cannot move or does not exist.
    bool MoveUp(int row);
    bool MoveDown(int row);
    bool RemoveServer(int row);
    // Appends to the shown list; false after telling the person why (empty address, port
    // outside 1..65535).
    bool AddServer(const QString& host, int port);

    // Checks, stores, saves, applies autostart and posts the finish; false (a message was
    // shown) leaves everything as it was on disk.
    bool Ok();
    // Posts the cancel.
    void Cancel();
    // Starts the browser Pageroom follows (on the port stored, not the one being edited).
    void StartPageroomBrowser();

    // User settings.
    bool notifyFriendOnline = false;
    bool autoPopUserMessage = false;
    bool autoPopSystemMessage = false;
    bool leaveWordWhenAway = false;
    QString leaveWord;
    bool notifySound = false;
    // Machine settings.
    bool autoRun = false;
    int inetConnType = 0;
    bool viaFirewall = false;
    QString proxy;
    int proxyPort = 0;
    QString proxyUserName;
    QString proxyPassword;
    bool needAuthentication = false;
    bool showSentTray = false;
    bool autoGetServerList = false;
    bool autoConnectFastest = false;
    int debuggingPort = kDefaultDebuggingPort;

private:
    QList<GatewayInfo>& Shown();
    void Tell(const QString& text) const;

    OVShellApp& app_;
    int networkType_ = 2;
    QList<GatewayInfo> cernet_;
    QList<GatewayInfo> chinanet_;
};

}  // namespace ov::shell
