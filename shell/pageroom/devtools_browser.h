// A Chromium-family browser started with --remote-debugging-port, as Pageroom follows it:
// its tabs (targets of type "page") appearing, navigating and closing, told by the DevTools
// protocol over the browser's WebSocket (Target.setDiscoverTargets). When no browser answers,
// or the browser goes, it tries again every few seconds without a word.
//
//   DevToolsBrowser browser;
//   connect(&browser, &DevToolsBrowser::TabChanged, ...);   // (id, address): opened or moved on
//   connect(&browser, &DevToolsBrowser::TabClosed, ...);
//   browser.Start(9222);
#pragma once

#include <QMap>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QWebSocket>

namespace ov::shell {

class DevToolsBrowser final : public QObject {
    Q_OBJECT
public:
    static constexpr int kRetryMs = 3000;

    explicit DevToolsBrowser(QObject* parent = nullptr);
    ~DevToolsBrowser() override;

    // Follows the browser whose DevTools endpoint listens on 127.0.0.1:port.
    void Start(quint16 port);
    // Forgets the browser; every known tab is reported closed.
    void Stop();
    bool Connected() const { return connected_; }
    quint16 Port() const { return port_; }
    // The known tabs: id -> address.
    const QMap<QString, QString>& Tabs() const { return tabs_; }

Q_SIGNALS:
    void TabChanged(const QString& id, const QString& address);
    void TabClosed(const QString& id);
    void ConnectedChanged(bool connected);

private:
    void Discover();
    void OnVersion(QNetworkReply* reply);
    void OnMessage(const QString& text);
    void OnDisconnected();
    void Send(const QString& method, const QJsonObject& params);
    void CloseAllTabs();

    QNetworkAccessManager network_;
    QWebSocket socket_;
    QTimer retry_;
    quint16 port_ = 0;
    bool running_ = false;
    bool connected_ = false;
    int nextId_ = 1;
    QMap<QString, QString> tabs_;
};

}  // namespace ov::shell
