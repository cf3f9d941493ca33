#include "shell/pageroom/devtools_browser.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace ov::shell {

DevToolsBrowser::DevToolsBrowser(QObject* parent) : QObject(parent) {
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMs);
    connect(&retry_, &QTimer::timeout, this, &DevToolsBrowser::Discover);
    connect(&socket_, &QWebSocket::connected, this, [this] {
        connected_ = true;
        Q_EMIT ConnectedChanged(true);
        Send(QStringLiteral("Target.setDiscoverTargets"),
             QJsonObject{{QStringLiteral("discover"), true}});
    });
    connect(&socket_, &QWebSocket::disconnected, this, &DevToolsBrowser::OnDisconnected);
    // A browser that went between the look-up and the connection: try again later.
    connect(&socket_, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error), this,
            [this] {
                if (!connected_ && running_)
                    retry_.start();
            });
    connect(&socket_, &QWebSocket::textMessageReceived, this, &DevToolsBrowser::OnMessage);
}

DevToolsBrowser::~DevToolsBrowser() {
    running_ = false;
    socket_.disconnect(this);
    socket_.abort();
}

void DevToolsBrowser::Start(quint16 port) {
    Stop();
    port_ = port;
    running_ = true;
    Discover();
}

void DevToolsBrowser::Stop() {
    running_ = false;
    retry_.stop();
    socket_.abort();
    CloseAllTabs();
    if (connected_) {
        connected_ = false;
        Q_EMIT ConnectedChanged(false);
    }
}

void DevToolsBrowser::Discover() {
    if (!running_)
        return;
    // The browser's WebSocket address changes with every start: it is read each time.
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/json/version").arg(port_)));
    request.setTransferTimeout(kRetryMs);
    QNetworkReply* reply = network_.get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { OnVersion(reply); });
}

void DevToolsBrowser::OnVersion(QNetworkReply* reply) {
    reply->deleteLater();
    if (!running_)
        return;
    const QJsonObject version = QJsonDocument::fromJson(reply->readAll()).object();
    const QString address = version.value(QStringLiteral("webSocketDebuggerUrl")).toString();
    const QUrl url(address);
    // Only the browser on this host is followed, whatever the answer names.
    if (reply->error() != QNetworkReply::NoError || !url.isValid() ||
        url.scheme() != QStringLiteral("ws") || url.host() != QStringLiteral("127.0.0.1")) {
        retry_.start();
        return;
    }
    socket_.open(url);
}

void DevToolsBrowser::Send(const QString& method, const QJsonObject& params) {
    const QJsonObject message{{QStringLiteral("id"), nextId_++},
                              {QStringLiteral("method"), method},
                              {QStringLiteral("params"), params}};
    socket_.sendTextMessage(
        QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

void DevToolsBrowser::OnMessage(const QString& text) {
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    const QString method = message.value(QStringLiteral("method")).toString();
    const QJsonObject params = message.value(QStringLiteral("params")).toObject();
    if (method == QStringLiteral("Target.targetCreated") ||
        method == QStringLiteral("Target.targetInfoChanged")) {
        const QJsonObject info = params.value(QStringLiteral("targetInfo")).toObject();
        if (info.value(QStringLiteral("type")).toString() != QStringLiteral("page"))
            return;
        const QString id = info.value(QStringLiteral("targetId")).toString();
        const QString address = info.value(QStringLiteral("url")).toString();
        if (id.isEmpty())
            return;
        auto it = tabs_.find(id);
        if (it != tabs_.end() && it.value() == address)
            return;  // a title or another detail changed, not the page
        tabs_.insert(id, address);
        Q_EMIT TabChanged(id, address);
    } else if (method == QStringLiteral("Target.targetDestroyed")) {
        const QString id = params.value(QStringLiteral("targetId")).toString();
        if (tabs_.remove(id) > 0)
            Q_EMIT TabClosed(id);
    }
}

void DevToolsBrowser::OnDisconnected() {
    CloseAllTabs();
    if (connected_) {
        connected_ = false;
        Q_EMIT ConnectedChanged(false);
    }
    if (running_)
        retry_.start();
    else
        retry_.stop();
}

void DevToolsBrowser::CloseAllTabs() {
    const QStringList ids = tabs_.keys();
    tabs_.clear();
    for (const QString& id : ids)
        Q_EMIT TabClosed(id);
}

}  // namespace ov::shell
