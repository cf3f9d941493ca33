#include "shell/core/single_instance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>

#include "platform/win32/registry.h"

namespace ov::shell {

namespace {

constexpr char kSettingKey[] = "Software\\Tallowby\\Orvane\\Setting";
constexpr char kAllowMultiple[] = "AllowMutilInstance";
constexpr QByteArrayView kActivate = "activate\n";
constexpr int kConnectMs = 1000;

}  // namespace

QString AlreadyRunningText() {
    return QStringLiteral(
        "Orvane已经在运行，您不能在一台电脑上同时运行多个Orvane的副本! "
        "请单击“确定”按钮，系统会帮您激活上一个Orvane实例。");
}

SingleInstance::SingleInstance(const QString& dataHome, std::function<void()> activate)
    : activate_(std::move(activate)) {
    // Per user and per data home: two people, or two test clients, never meet.
    const QByteArray home = QDir(dataHome).absolutePath().toUtf8();
    name_ = QStringLiteral("orvane-%1-%2")
                .arg(getuid())
                .arg(QString::fromLatin1(
                    QCryptographicHash::hash(home, QCryptographicHash::Sha256).toHex().left(16)));
    QObject::connect(&server_, &QLocalServer::newConnection, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection()) {
            QObject::connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
                if (peer->readAll().contains(kActivate.toByteArray()) && activate_)
                    activate_();
                peer->disconnectFromServer();
            });
            QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        }
    });
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::MultipleInstancesAllowed() {
    RegistryStore reg = RegistryStore::Default();
    const DWORD value = reg.GetDword(HKEY_CURRENT_USER, kSettingKey, kAllowMultiple).value_or(0);
    reg.SetDword(HKEY_CURRENT_USER, kSettingKey, kAllowMultiple, value);
    return value != 0;
}

bool SingleInstance::Claim() {
    const bool allowed = MultipleInstancesAllowed();
    QLocalSocket probe;
    probe.connectToServer(name_);
    if (probe.waitForConnected(kConnectMs))
        return allowed;  // the first one keeps the name
    // Nobody answers: a name left by a program that ended badly is taken over.
    QLocalServer::removeServer(name_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(name_);
    return true;
}

void SingleInstance::ActivateRunning() {
    QLocalSocket peer;
    peer.connectToServer(name_);
    if (!peer.waitForConnected(kConnectMs))
        return;
    peer.write(kActivate.data(), kActivate.size());
    peer.waitForBytesWritten(kConnectMs);
    peer.disconnectFromServer();
}

}  // namespace ov::shell
