// Headless Chromium for tests: started with a profile of its own in a temporary folder and the
// DevTools endpoint on a port of its choice (read from DevToolsActivePort, so parallel tests
// never clash), killed and its profile removed on destruction; and a tiny web server on
// 127.0.0.2 for its tabs to open.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <chrono>
#include <functional>

namespace ov::shell::testing {

class HeadlessChromium {
public:
    // The browser program, empty when none is installed.
    static QString Program() {
        for (const char* name : {"chromium", "chromium-browser"}) {
            const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
            if (!path.isEmpty())
                return path;
        }
        return {};
    }

    HeadlessChromium() {
        if (Program().isEmpty() || !profile_.isValid())
            return;
        // Its complaints about the missing system bus and the like are of no interest here.
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start(Program(), {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                   "--user-data-dir=" + profile_.path(),
                                   "--remote-debugging-port=0", "about:blank"});
    }
    ~HeadlessChromium() {
        if (process_.state() != QProcess::NotRunning) {
            // Asked to end first: killed, it leaves its helper processes writing into the
            // profile while the profile is removed, and the folder stays behind.
            process_.terminate();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished(10000);
            }
        }
    }

    // Waits (with wait running the caller's loop) until the endpoint's port is known; 0 when
    // the browser did not start.
    quint16 Port(const std::function<bool(const std::function<bool()>&)>& wait) {
        QFile file(profile_.filePath("DevToolsActivePort"));
        wait([&] { return file.exists() && file.size() > 0; });
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        return static_cast<quint16>(file.readLine().trimmed().toUInt());
    }

private:
    QTemporaryDir profile_;
    QProcess process_;
};

// Answers every request with a small page naming its path.
class TinyWebServer {
public:
    TinyWebServer() {
        server_.listen(QHostAddress(QStringLiteral("127.0.0.2")), 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* c = server_.nextPendingConnection()) {
                QObject::connect(c, &QTcpSocket::readyRead, c, [c] {
                    const QByteArray request = c->readAll();
                    const QByteArray path = request.split(' ').value(1);
                    const QByteArray body = "<html><head><title>" + path + "</title></head><body>" +
                                            path + "</body></html>";
                    c->write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                             QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    c->disconnectFromHost();
                });
                QObject::connect(c, &QTcpSocket::disconnected, c, &QObject::deleteLater);
            }
        });
    }
    // "http://127.0.0.2:<port>" + path
    QString Url(const QString& path) const {
        return QStringLiteral("http://127.0.0.2:%1%2").arg(server_.serverPort()).arg(path);
    }
    QString Host() const { return QStringLiteral("127.0.0.2:%1").arg(server_.serverPort()); }

private:
    QTcpServer server_;
};

}  // namespace ov::shell::testing
