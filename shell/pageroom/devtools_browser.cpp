#include "shell/pageroom/devtools_browser.h"

#include "shell/pageroom/devtools_messages.h"

#include <QJsonArray>
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
    place_.setInterval(kPlaceMs);
    connect(&place_, &QTimer::timeout, this, [this] {
        for (auto it = tabs_.cbegin(); it != tabs_.cend(); ++it)
            AskWindow(it.key());
    });
    connect(&socket_, &QWebSocket::connected, this, [this] {
        connected_ = true;
        Q_EMIT ConnectedChanged(true);
        Send(QStringLiteral("Target.setDiscoverTargets"),
             QJsonObject{{QStringLiteral("discover"), true}});
        place_.start();
        // The endpoint lists the tabs by their last use, which the events do not tell.
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/json/list").arg(port_)));
        request.setTransferTimeout(kRetryMs);
        QNetworkReply* reply = network_.get(request);
        connect(reply, &QNetworkReply::finished, this, [this, reply] { OnList(reply); });
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
    place_.stop();
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

void DevToolsBrowser::OnList(QNetworkReply* reply) {
    reply->deleteLater();
    if (!connected_ || reply->error() != QNetworkReply::NoError)
        return;
    const QStringList ids = PageTabsOf(reply->readAll());
    if (!ids.isEmpty())
        Q_EMIT TabsRanked(ids);
}

int DevToolsBrowser::Send(const QString& method, const QJsonObject& params) {
    const int id = nextId_++;
    const QJsonObject message{{QStringLiteral("id"), id},
                              {QStringLiteral("method"), method},
                              {QStringLiteral("params"), params}};
    socket_.sendTextMessage(
        QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    return id;
}

void DevToolsBrowser::AskWindow(const QString& id) {
    if (!connected_)
        return;
    windowAsks_.insert(Send(QStringLiteral("Browser.getWindowForTarget"),
                            QJsonObject{{QStringLiteral("targetId"), id}}),
                       id);
}

void DevToolsBrowser::OnReply(int id, const QJsonObject& result) {
    const QString tab = windowAsks_.take(id);
    // A tab that closed meanwhile, or a browser without windows (an error instead of a result).
    const std::optional<BrowserWindow> window = WindowOf(result);
    if (tab.isEmpty() || !tabs_.contains(tab) || !window)
        return;
    auto known = windows_.find(tab);
    if (known != windows_.end() && *known == *window)
        return;
    windows_.insert(tab, *window);
    Q_EMIT TabWindow(tab, window->id, window->bounds);
}

void DevToolsBrowser::OnMessage(const QString& text) {
    const DevToolsMessage m = ParseDevToolsMessage(text.toUtf8());
    switch (m.kind) {
        case DevToolsMessage::Kind::Reply:
            OnReply(m.replyId, m.result);
            break;
        case DevToolsMessage::Kind::TabChanged: {
            auto it = tabs_.find(m.tab);
            if (it != tabs_.end() && it.value() == m.address)
                return;  // a title or another detail changed, not the page
            tabs_.insert(m.tab, m.address);
            Q_EMIT TabChanged(m.tab, m.address);
            AskWindow(m.tab);
            break;
        }
        case DevToolsMessage::Kind::TabClosed:
            windows_.remove(m.tab);
            if (tabs_.remove(m.tab) > 0)
                Q_EMIT TabClosed(m.tab);
            break;
        case DevToolsMessage::Kind::None:
            break;
    }
}

void DevToolsBrowser::OnDisconnected() {
    place_.stop();
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
    windows_.clear();
    windowAsks_.clear();
    for (const QString& id : ids)
        Q_EMIT TabClosed(id);
}

}  // namespace ov::shell
