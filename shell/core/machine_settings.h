// MachineSettings: the machine-wide settings in "orvane.dat" (plain key file in the data
// home, mode 0600 as it holds the proxy password).
//
//   MachineSettings machine(dirs.MachineSettingsPath());
//   machine.Load();                        // false: no file, the defaults stand
//   machine.sLastLoginUserName = "alice";
//   machine.Save();
//   QList<GatewayInfo> list = machine.Gateways(GatewayList::Chinanet);
//
// The plain members are read and written on the GUI thread only. The two gateway lists may
// be read from elsewhere too, so each sits behind its own lock, held for the whole of a load
// or save of that list.
#pragma once

#include <QList>
#include <QString>
#include <mutex>

#include "shell/core/clock.h"

class OVConfigFile;

namespace ov::shell {

struct GatewayInfo {
    QString host;
    int port = 0;
    friend bool operator==(const GatewayInfo&, const GatewayInfo&) = default;
};

// nNetworkType 1 uses the first list, 2 the second.
enum class GatewayList { Cernet = 1, Chinanet = 2 };

// The two default gateways that an empty list receives: the local reference server.
inline constexpr char kDefaultGatewayA[] = "127.0.0.1";
inline constexpr char kDefaultGatewayB[] = "localhost";
constexpr int kDefaultGatewayPort = 9999;
// The browser's DevTools port Pageroom follows unless the settings name another.
constexpr int kDefaultDebuggingPort = 9222;

class MachineSettings {
public:
    explicit MachineSettings(QString filePath, SecondsClock clock = SystemSecondsClock());
    MachineSettings(const MachineSettings&) = delete;
    MachineSettings& operator=(const MachineSettings&) = delete;

    const QString& FilePath() const { return filePath_; }

    // Resets every key to its default, then reads the file. False when it cannot be read (the
    // defaults stand). Either way an empty gateway list gets the two defaults and a terminal
    // identifier of 0 becomes the clock's current time.
    bool Load();
    // Every key in the order of the table, then both gateway lists. False on a write failure.
    bool Save() const;

    QList<GatewayInfo> Gateways(GatewayList list) const;
    void SetGateways(GatewayList list, const QList<GatewayInfo>& gateways);
    // The list that nNetworkType selects; empty for any other value.
    QList<GatewayInfo> ActiveGateways() const;

    // [LocalMachine]
    int nTerminalID = 0;
    QString sLastLoginUserName;
    // [StartInfo]
    int fAutoRun = 1;
    int fAutoGetServerList = 1;
    // [RuntimeInfo]
    int fAutoCnctFastestServer = 0;
    int fShowSentTray = 0;
    // [ConnectionInfo]
    int nInetConnType = 0;  // 0 local network ("局域网接入"), else dial-up ("拨号上网")
    int fViaFirewall = 0;
    // [NetWorkType]
    int nNetworkType = 2;
    // [ProxyInfo]
    int fNeedAuthentication = 0;
    QString sProxy;
    int nProxyPort = 1080;
    QString sProxyUserName;
    QString sProxyPassword;
    // [Pageroom]: the DevTools port of the browser Pageroom follows (1-65535).
    int nDebuggingPort = kDefaultDebuggingPort;

private:
    struct Guarded {
        mutable std::mutex mutex;  // guards gateways
        QList<GatewayInfo> gateways;
    };

    Guarded& ListOf(GatewayList list);
    const Guarded& ListOf(GatewayList list) const;
    void LoadList(const OVConfigFile& file, GatewayList list);
    void ResetPlainKeys();

    QString filePath_;
    SecondsClock clock_;
    Guarded cernet_;
    Guarded chinanet_;
};

}  // namespace ov::shell
