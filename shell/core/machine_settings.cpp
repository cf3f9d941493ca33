#include "shell/core/machine_settings.h"

#include "common/config/config_file.h"
#include "shell/core/cp936_text.h"
#include "shell/core/key_file_lines.h"
#include "shell/core/user_config.h"

namespace ov::shell {

namespace {

const char* SectionOf(GatewayList list) {
    return list == GatewayList::Cernet ? "GatewayInfoCernet" : "GatewayInfoChinanet";
}

std::string IndexedKey(const char* prefix, qsizetype index) {
    return std::string(prefix) + std::to_string(index);
}

}  // namespace

MachineSettings::MachineSettings(QString filePath, SecondsClock clock)
    : filePath_(std::move(filePath)), clock_(std::move(clock)) {}

MachineSettings::Guarded& MachineSettings::ListOf(GatewayList list) {
    return list == GatewayList::Cernet ? cernet_ : chinanet_;
}

const MachineSettings::Guarded& MachineSettings::ListOf(GatewayList list) const {
    return list == GatewayList::Cernet ? cernet_ : chinanet_;
}

void MachineSettings::ResetPlainKeys() {
    nTerminalID = 0;
    sLastLoginUserName.clear();
    fAutoRun = 1;
    fAutoGetServerList = 1;
    fAutoCnctFastestServer = 0;
    fShowSentTray = 0;
    nInetConnType = 0;
    fViaFirewall = 0;
    nNetworkType = 2;
    fNeedAuthentication = 0;
    sProxy.clear();
    nProxyPort = 1080;
    sProxyUserName.clear();
    sProxyPassword.clear();
    nDebuggingPort = kDefaultDebuggingPort;
}

void MachineSettings::LoadList(const OVConfigFile& file, GatewayList list) {
    Guarded& guarded = ListOf(list);
    std::lock_guard lock(guarded.mutex);
    guarded.gateways.clear();
    const char* section = SectionOf(list);
    for (qsizetype index = 0;; ++index) {
        std::string host;
        if (!file.GetString(section, IndexedKey("sHost-", index).c_str(), &host))
            break;
        GatewayInfo gateway;
        gateway.host = FromCp936(host);
        file.GetInt(section, IndexedKey("nPort-", index).c_str(), &gateway.port);
        guarded.gateways.append(gateway);
    }
    if (guarded.gateways.isEmpty()) {
        const GatewayInfo a{QString::fromLatin1(kDefaultGatewayA), kDefaultGatewayPort};
        const GatewayInfo b{QString::fromLatin1(kDefaultGatewayB), kDefaultGatewayPort};
        guarded.gateways =
            list == GatewayList::Cernet ? QList<GatewayInfo>{a, b} : QList<GatewayInfo>{b, a};
    }
}

bool MachineSettings::Load() {
    ResetPlainKeys();
    OVConfigFile file;
    const bool read = LoadKeyFile(&file, filePath_, false);
    if (read) {
        const auto getString = [&file](const char* section, const char* key, QString* value) {
            std::string text;
            if (file.GetString(section, key, &text))
                *value = FromCp936(text);
        };
        file.GetInt("LocalMachine", "nTerminalID", &nTerminalID);
        getString("LocalMachine", "sLastLoginUserName", &sLastLoginUserName);
        file.GetInt("StartInfo", "fAutoRun", &fAutoRun);
        file.GetInt("StartInfo", "fAutoGetServerList", &fAutoGetServerList);
        file.GetInt("RuntimeInfo", "fAutoCnctFastestServer", &fAutoCnctFastestServer);
        file.GetInt("RuntimeInfo", "fShowSentTray", &fShowSentTray);
        file.GetInt("ConnectionInfo", "nInetConnType", &nInetConnType);
        file.GetInt("ConnectionInfo", "fViaFirewall", &fViaFirewall);
        file.GetInt("NetWorkType", "nNetworkType", &nNetworkType);
        file.GetInt("ProxyInfo", "fNeedAuthentication", &fNeedAuthentication);
        getString("ProxyInfo", "sProxy", &sProxy);
        file.GetInt("ProxyInfo", "nProxyPort", &nProxyPort);
        getString("ProxyInfo", "sProxyUserName", &sProxyUserName);
        getString("ProxyInfo", "sProxyPassword", &sProxyPassword);
        file.GetInt("Pageroom", "nDebuggingPort", &nDebuggingPort);
        if (nDebuggingPort <= 0 || nDebuggingPort > 65535)
            nDebuggingPort = kDefaultDebuggingPort;
    }
    LoadList(file, GatewayList::Cernet);
    LoadList(file, GatewayList::Chinanet);
    if (nTerminalID == 0)
        nTerminalID = static_cast<int>(clock_());
    return read;
}

bool MachineSettings::Save() const {
    KeyFileLines lines;
    lines.Section("LocalMachine");
    lines.Int("nTerminalID", nTerminalID);
    lines.String("sLastLoginUserName", sLastLoginUserName);
    lines.Section("StartInfo");
    lines.Int("fAutoRun", fAutoRun);
    lines.Int("fAutoGetServerList", fAutoGetServerList);
    lines.Section("RuntimeInfo");
    lines.Int("fAutoCnctFastestServer", fAutoCnctFastestServer);
    lines.Int("fShowSentTray", fShowSentTray);
    lines.Section("ConnectionInfo");
    lines.Int("nInetConnType", nInetConnType);
    lines.Int("fViaFirewall", fViaFirewall);
    lines.Section("NetWorkType");
    lines.Int("nNetworkType", nNetworkType);
    lines.Section("ProxyInfo");
    lines.Int("fNeedAuthentication", fNeedAuthentication);
    lines.String("sProxy", sProxy);
    lines.Int("nProxyPort", nProxyPort);
    lines.String("sProxyUserName", sProxyUserName);
    lines.String("sProxyPassword", sProxyPassword);
    lines.Section("Pageroom");
    lines.Int("nDebuggingPort", nDebuggingPort);
    // Each list is held for the whole of its part of the save.
    for (const GatewayList list : {GatewayList::Cernet, GatewayList::Chinanet}) {
        const Guarded& guarded = ListOf(list);
        std::lock_guard lock(guarded.mutex);
        lines.Section(SectionOf(list));
        for (qsizetype index = 0; index < guarded.gateways.size(); ++index) {
            lines.String(IndexedKey("sHost-", index).c_str(), guarded.gateways[index].host);
            lines.Int(IndexedKey("nPort-", index).c_str(), guarded.gateways[index].port);
        }
    }
    return lines.Save(filePath_, false);
}

QList<GatewayInfo> MachineSettings::Gateways(GatewayList list) const {
    const Guarded& guarded = ListOf(list);
    std::lock_guard lock(guarded.mutex);
    return guarded.gateways;
}

void MachineSettings::SetGateways(GatewayList list, const QList<GatewayInfo>& gateways) {
    Guarded& guarded = ListOf(list);
    std::lock_guard lock(guarded.mutex);
    guarded.gateways = gateways;
}

QList<GatewayInfo> MachineSettings::ActiveGateways() const {
    if (nNetworkType == static_cast<int>(GatewayList::Cernet))
        return Gateways(GatewayList::Cernet);
    if (nNetworkType == static_cast<int>(GatewayList::Chinanet))
        return Gateways(GatewayList::Chinanet);
    return {};
}

}  // namespace ov::shell
