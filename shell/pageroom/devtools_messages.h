// What the browser's DevTools endpoint says, read from its JSON: events of the tabs (targets
// of type "page") appearing, moving on and closing, replies to our requests, the window a tab
// stands in, and the tab list. Anything unexpected reads as nothing.
//
//   DevToolsMessage m = ParseDevToolsMessage(text);
//   if (m.kind == DevToolsMessage::Kind::TabChanged) follow(m.tab, m.address);
#pragma once

#include <QByteArrayView>
#include <QJsonObject>
#include <QRect>
#include <QString>
#include <QStringList>
#include <optional>

namespace ov::shell {

struct DevToolsMessage {
    enum class Kind { None, Reply, TabChanged, TabClosed } kind = Kind::None;
    int replyId = 0;     // Reply
    QJsonObject result;  // Reply: empty for an error
    QString tab;         // TabChanged, TabClosed: never empty
    QString address;     // TabChanged
};

DevToolsMessage ParseDevToolsMessage(QByteArrayView text);

// The reply to Browser.getWindowForTarget: the window and its bounds on the screen (empty
// while minimised or when the browser gives no size). Nothing for an error.
struct BrowserWindow {
    int id = 0;
    QRect bounds;
    friend bool operator==(const BrowserWindow&, const BrowserWindow&) = default;
};
std::optional<BrowserWindow> WindowOf(const QJsonObject& result);

// The page tabs of a /json/list answer, in its order.
QStringList PageTabsOf(QByteArrayView listAnswer);

}  // namespace ov::shell
