// What a test does to a browser through its DevTools endpoint: open and close tabs over HTTP,
// move a tab to another address over the tab's own WebSocket. wait runs the caller's loop until
// its condition holds (false when it gave up).
#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QWebSocket>
#include <functional>

namespace ov::shell::testing {

using WaitFor = std::function<bool(const std::function<bool()>&)>;

// An HTTP call to the endpoint, its JSON answer (empty when none came).
inline QJsonObject DevToolsCall(quint16 port, const QByteArray& verb, const QString& path,
                                const WaitFor& wait) {
    QNetworkAccessManager network;
    QNetworkReply* reply = network.sendCustomRequest(
        QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path))), verb);
    wait([&] { return reply->isFinished(); });
    const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    delete reply;
    return answer;
}

// A new tab on the address; its id.
inline QString OpenTab(quint16 port, const QString& url, const WaitFor& wait) {
    return DevToolsCall(port, "PUT", "/json/new?" + url, wait).value("id").toString();
}

inline void CloseTab(quint16 port, const QString& id, const WaitFor& wait) {
    DevToolsCall(port, "GET", "/json/close/" + id, wait);
}

// Sends the tab to another address; true once the browser took the request.
inline bool Navigate(quint16 port, const QString& id, const QString& url, const WaitFor& wait) {
    QWebSocket socket;
    socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/devtools/page/%2").arg(port).arg(id)));
    if (!wait([&] { return socket.state() == QAbstractSocket::ConnectedState; }))
        return false;
    bool answered = false;
    QObject::connect(&socket, &QWebSocket::textMessageReceived,
                     [&](const QString&) { answered = true; });
    socket.sendTextMessage(
        QStringLiteral(R"({"id":1,"method":"Page.navigate","params":{"url":"%1"}})").arg(url));
    return wait([&] { return answered; });
}

}  // namespace ov::shell::testing
