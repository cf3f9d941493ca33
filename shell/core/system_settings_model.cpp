#include "shell/core/system_settings_model.h"

#include "shell/core/commands.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/shell_app.h"

namespace ov::shell {

namespace {

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

bool ValidPort(int port) {
    return port >= 1 && port <= 65535;
}

}  // namespace

SystemSettingsModel::SystemSettingsModel(OVShellApp& app) : app_(app) {
    const MachineSettings& m = app_.Machine();
    autoRun = m.fAutoRun != 0;
    inetConnType = m.nInetConnType;
    viaFirewall = m.fViaFirewall != 0;
    proxy = m.sProxy;
    proxyPort = m.nProxyPort;
    proxyUserName = m.sProxyUserName;
    proxyPassword = m.sProxyPassword;
    needAuthentication = m.fNeedAuthentication != 0;
    showSentTray = m.fShowSentTray != 0;
    autoGetServerList = m.fAutoGetServerList != 0;
    autoConnectFastest = m.fAutoCnctFastestServer != 0;
    debuggingPort = m.nDebuggingPort;
    // A type the program does not know shows the second list, as the default does.
    networkType_ = m.nNetworkType == 1 ? 1 : 2;
    cernet_ = m.Gateways(GatewayList::Cernet);
    chinanet_ = m.Gateways(GatewayList::Chinanet);

    const UserSettings& u = app_.Settings();
    notifyFriendOnline = u.bNotifyFrndOnline != 0;
    autoPopUserMessage = u.bAutoPopUserMsg != 0;
    autoPopSystemMessage = u.bAutoPopSystemMsg != 0;
    leaveWordWhenAway = u.bLeaveWordOffline != 0;
    leaveWord = u.sLeaveWordOffline;
    notifySound = u.bNotifySound != 0;
}

bool SystemSettingsModel::UserLoaded() const {
    return app_.Settings().Loaded();
}

QList<GatewayInfo>& SystemSettingsModel::Shown() {
    return networkType_ == 1 ? cernet_ : chinanet_;
}

const QList<GatewayInfo>& SystemSettingsModel::Servers() const {
    return networkType_ == 1 ? cernet_ : chinanet_;
}

QStringList SystemSettingsModel::ServerLines() const {
    QStringList lines;
    for (const GatewayInfo& g : Servers())
        lines << QStringLiteral("%1:%2").arg(g.host).arg(g.port);
    return lines;
}

void SystemSettingsModel::SetNetworkType(int type) {
    if (type == 1 || type == 2)
        networkType_ = type;
}

bool SystemSettingsModel::MoveUp(int row) {
    QList<GatewayInfo>& list = Shown();
    if (row < 1 || row >= list.size())
        return false;
    list.swapItemsAt(row, row - 1);
    return true;
}

bool SystemSettingsModel::MoveDown(int row) {
    QList<GatewayInfo>& list = Shown();
    if (row < 0 || row + 1 >= list.size())
        return false;
    list.swapItemsAt(row, row + 1);
    return true;
}

bool SystemSettingsModel::RemoveServer(int row) {
    QList<GatewayInfo>& list = Shown();
    if (row < 0 || row >= list.size())
        return false;
    list.removeAt(row);
    return true;
}

bool SystemSettingsModel::AddServer(const QString& host, int port) {
    const QString trimmed = host.trimmed();
    if (trimmed.isEmpty()) {
        Tell(Text("服务器地址不能为空"));
        return false;
    }
    if (!ValidPort(port)) {
        Tell(Text("服务器端口应在1到65535之间"));
        return false;
    }
    Shown().append(GatewayInfo{trimmed, port});
    return true;
}

void SystemSettingsModel::Tell(const QString& text) const {
    if (Prompts* prompts = app_.Desktop().prompts)
        prompts->Message(text, Text("Orvane提示"), Prompts::Icon::Warning);
}

bool SystemSettingsModel::Ok() {
    if (viaFirewall) {
        if (proxy.trimmed().isEmpty()) {
            Tell(Text("代理服务器地址不能为空"));
            return false;
        }
        if (!ValidPort(proxyPort)) {
            Tell(Text("代理服务器端口应在1到65535之间"));
            return false;
        }
    }
    if (!ValidPort(debuggingPort)) {
        Tell(Text("Pageroom浏览器调试端口应在1到65535之间"));
        return false;
    }

    MachineSettings& m = app_.Machine();
    m.fAutoRun = autoRun ? 1 : 0;
    m.nInetConnType = inetConnType;
    m.fViaFirewall = viaFirewall ? 1 : 0;
    m.sProxy = proxy.trimmed();
    m.nProxyPort = proxyPort;
    m.sProxyUserName = proxyUserName;
    m.sProxyPassword = proxyPassword;
    m.fNeedAuthentication = needAuthentication ? 1 : 0;
    m.fShowSentTray = showSentTray ? 1 : 0;
    m.fAutoGetServerList = autoGetServerList ? 1 : 0;
    m.fAutoCnctFastestServer = autoConnectFastest ? 1 : 0;
    m.nDebuggingPort = debuggingPort;
    m.nNetworkType = networkType_;
    m.SetGateways(GatewayList::Cernet, cernet_);
    m.SetGateways(GatewayList::Chinanet, chinanet_);
    bool saved = m.Save();

    UserSettings& u = app_.Settings();
    if (u.Loaded()) {
        u.bNotifyFrndOnline = notifyFriendOnline ? 1 : 0;
        u.bAutoPopUserMsg = autoPopUserMessage ? 1 : 0;
        u.bAutoPopSystemMsg = autoPopSystemMessage ? 1 : 0;
        u.bLeaveWordOffline = leaveWordWhenAway ? 1 : 0;
        u.sLeaveWordOffline = leaveWord;
        u.bNotifySound = notifySound ? 1 : 0;
        saved = u.Save() && saved;
    }
    if (!saved) {
        Tell(Text("保存设置失败"));
        return false;
    }

    app_.ApplyAutostart();
    if (PageroomControl* pageroom = app_.Desktop().pageroom)
        pageroom->SettingsChanged();
    if (CHiddenFrame* frame = app_.Frame())
        frame->PostCommand(ID_FUNCTION_OPTION_FINISHED);
    return true;
}

void SystemSettingsModel::StartPageroomBrowser() {
    if (PageroomControl* pageroom = app_.Desktop().pageroom)
        pageroom->StartBrowser();
}

void SystemSettingsModel::Cancel() {
    if (CHiddenFrame* frame = app_.Frame())
        frame->PostCommand(ID_FUNCTION_OPTION_CANCELED);
}

}  // namespace ov::shell
