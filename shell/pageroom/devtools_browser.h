// A Chromium-family browser started with --remote-debugging-port, as Pageroom follows it:
// its tabs (targets of type "page") appearing, navigating and closing, told by the DevTools
// protocol over the browser's WebSocket (Target.setDiscoverTargets), and the window each tab
// stands in with its bounds on the screen (Browser.getWindowForTarget, asked when a tab opens
// or moves on and again every few seconds, so that a moved or resized window is followed).
// When no browser answers, or the browser goes, it tries again every few seconds without a
// word.
//
//   DevToolsBrowser browser;
//   connect(&browser, &DevToolsBrowser::TabChanged, ...);   // (id, address): opened or moved on
//   connect(&browser, &DevToolsBrowser::TabClosed, ...);
//   connect(&browser, &DevToolsBrowser::TabWindow, ...);    // (id, window, bounds)
//   browser.Start(9222);
#pragma once

#include <QJsonObject>
#include <QMap>
#include <QNetworkAccessManager>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWebSocket>

#include "shell/pageroom/devtools_messages.h"

namespace ov::shell {

class DevToolsBrowser final : public QObject {
    Q_OBJECT
public:
    static constexpr int kRetryMs = 3000;
    static constexpr int kPlaceMs = 3000;

    explicit DevToolsBrowser(QObject* parent = nullptr);
    ~DevToolsBrowser() override;

    // Follows the browser whose DevTools endpoint listens on 127.0.0.1:port.
    void Start(quint16 port);
    // Forgets the browser; every known tab is reported closed.
    void Stop();
    bool Connected() const { return connected_; }
    // How often the windows' bounds are read again (tests shorten it).
    void SetPlacementInterval(int ms) { place_.setInterval(ms); }
    quint16 Port() const { return port_; }
    // The known tabs: id -> address.
    const QMap<QString, QString>& Tabs() const { return tabs_; }

Q_SIGNALS:
    void TabChanged(const QString& id, const QString& address);
    void TabClosed(const QString& id);
    void ConnectedChanged(bool connected);
    // The browser window a tab stands in and that window's bounds; told when either changes.
    void TabWindow(const QString& id, int window, const QRect& bounds);
    // The tabs open when the browser was found, the one used most recently first.
    void TabsRanked(const QStringList& ids);

private:
    void Discover();
    void OnVersion(QNetworkReply* reply);
    void OnList(QNetworkReply* reply);
    void OnMessage(const QString& text);
    void OnDisconnected();
    // The request's id.
    int Send(const QString& method, const QJsonObject& params);
    void CloseAllTabs();
    void AskWindow(const QString& id);
    void OnReply(int id, const QJsonObject& result);

    QNetworkAccessManager network_;
    QWebSocket socket_;
    QTimer retry_;
    QTimer place_;
    quint16 port_ = 0;
    bool running_ = false;
    bool connected_ = false;
    int nextId_ = 1;
    QMap<QString, QString> tabs_;
    QMap<int, QString> windowAsks_;         // request id -> tab
    QMap<QString, BrowserWindow> windows_;  // tab -> window last told
};

}  // namespace ov::shell
